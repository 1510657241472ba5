#pragma once
// The command line: text files read into WAV or MP3 files without a window.
//
//   voxtrella --read-to-file [options] FILE...
//   voxtrella --list-voices | --help | --version
//
// It drives the same reading commands as the window (ReadingController over
// a list of articles made from the files), so the output names, the text
// filter and the MP3 conversion are the window's. It needs no display and
// never connects to the sound server, shows every message on standard error,
// and never writes the settings, the saved articles or the single-instance
// socket of a running window. Log lines are appended to the current diagnostic log, which is
// not rotated (a running window owns the rotation).
//
// Exit status: 0 every file was written; 1 some file failed or was skipped
// because its output exists (each named on standard error, the others still
// written), or standard input or output failed; 2 bad arguments, the usage
// text follows the message.

namespace CommandLine {

enum ExitStatus { Written = 0, Failed = 1, BadArguments = 2, Interrupted = 130 };

// True when the first argument asks for the command line: any option but
// "-auto" (in any case), the desktop shortcuts' commands (--read-clipboard,
// --read-selection, --play-pause, --stop, --skip) and Qt's own window
// options, so that an unknown one is a usage error rather than a window. No
// argument at all, or a file name, belongs to the window.
bool Wanted(int argc, char *argv[]);

// Runs the command line in a QCoreApplication of its own (none may exist
// yet) and returns the exit status.
int Run(int argc, char *argv[]);

}  // namespace CommandLine
