#pragma once
// Base of the program's exceptions (ESpeechError, EOleError,
// EMemoEntryLocked, ...): a message for the user and, where there is one,
// the result code that caused it. Caught at the command that started the
// work, logged once and shown once.

#include <QString>

#include <cstdint>
#include <exception>

class EAppError : public std::exception
{
public:
    explicit EAppError(QString message, int32_t code = 0)
        : m_message(std::move(message)), m_code(code), m_utf8(m_message.toUtf8())
    {
    }

    const QString &message() const noexcept { return m_message; }
    int32_t code() const noexcept { return m_code; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    int32_t m_code;
    QByteArray m_utf8;
};
