// The answering half of the lock-owner exchange: on SIGUSR2 a connection
// process writes the name of its logged-in user, followed by a newline, into
// the lock-info file, where the process that asked reads it.
//
// The file is written by the signal handler itself, with open/write/close
// only, so the name reaches it as plain text whatever it holds (quotes,
// "$(...)", backticks): nothing is run. The name is kept in a block of its
// own that the handler reads; setting it blocks SIGUSR2 for the moment the
// block is swapped, so the handler never sees a half-changed name.
#ifndef YM_LOCK_INFO_H
#define YM_LOCK_INFO_H

#include <cstddef>

// Fixes the file's path (the lock-info file under the platform root). Call
// once, before the SIGUSR2 handler is installed. Returns 0 if the path does
// not fit.
int ymLockInfoInit();

// The rooted path of the lock-info file (valid after ymLockInfoInit).
const char* ymLockInfoPath();

// Records the user name to answer with (len bytes of name; any length).
void ymLockInfoSetUser(const char* name, size_t len);

// Writes the recorded name and a newline into the file, replacing it.
// Async-signal-safe; keeps errno. Returns 0 on success, -1 on failure.
int ymLockInfoWrite();

#endif
