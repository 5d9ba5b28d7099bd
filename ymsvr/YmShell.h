// Running the shell command lines of the document path (the models, the fax
// request, the edit manager's field update), with their exit status really
// collected.
//
// A command line is often a pipeline ("tbl f | nroff | col -xb"); a plain
// POSIX shell reports only the last stage's status, so a formatter that
// fails in the middle would pass for a success. The line is therefore run
// by bash with pipefail when the machine has bash (a pipeline fails when any
// stage fails), else by /bin/sh. Standard input is /dev/null, so that no
// command reads the server's own input.
//
// Each command runs in a process group of its own, recorded in the
// running-command table of YmTmpFile.h, so that a signal that ends the
// connection process can end the whole pipeline with it.
#ifndef YM_SHELL_H
#define YM_SHELL_H

#include <functional>
#include <string>

// Runs cmd and waits for it, resuming the wait after signals (the display
// cancel arrives as one). Returns the wait status (0: every stage exited 0),
// or -1 when no process could be started.
int ymRunShell(const std::string& cmd);

// True when ymRunShell(cmd) is 0.
bool ymShellOk(const std::string& cmd);

// ymRunShell with the command's standard output read as it comes: take is
// called with each piece that fgets gives from a buffer of pieceMax bytes (a
// line, or the part of a long line that fits; NUL-terminated). The output
// is read to its end, so the command never blocks on a full pipe. Returns
// the wait status, or -1 when no process could be started.
int ymRunShellRead(const std::string& cmd, int pieceMax,
                   const std::function<void(const char* piece)>& take);

// A path of the platform table made safe for a command line: the path as it
// is when it holds only characters a shell takes literally (the usual case,
// which keeps the command lines readable), else quoted.
std::string ymShellPath(const char* path);

#endif
