#pragma once
// The diagnostic log and its helpers. Every operation is class-level; no
// instance is ever created.
//
// Log files live in the user folder: "voxtrella.dbg" (this run),
// "voxtrella1.dbg" .. "voxtrella3.dbg" (the three runs before), mode 0600.

#include "AppError.h"

#include <QString>

// The run-time library's file errors raised by CopyFile.
class EFOpenError : public EAppError
{
public:
    explicit EFOpenError(const QString &fileName);
};

class EFCreateError : public EAppError
{
public:
    explicit EFCreateError(const QString &fileName);
};

// Reading or writing failed in the middle of a copy (disk full, I/O error).
class EInOutError : public EAppError
{
public:
    explicit EInOutError(const QString &message);
};

class DiagnosticLog
{
public:
    DiagnosticLog() = delete;

    // Appends "<local date> <local time> - <message>" + CR LF to the current
    // log. Never fails visibly: every error is swallowed.
    static void WriteLog(const QString &message);

    // Start of a run: shifts the logs one generation back and removes the
    // current one. Raises the errors of CopyFile.
    static void RotateLogs();

    // Byte-for-byte copy that also takes the source's permission bits (a
    // private log stays private). When dest names an existing folder the
    // source's file name is appended to it. Raises EFOpenError (source),
    // EFCreateError (destination) or EInOutError (read/write failure); the
    // destination is then left as it was.
    static void CopyFile(const QString &source, const QString &dest);

    // The name of the current log file.
    static QString LogFileName();
};
