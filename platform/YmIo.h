// Moving exactly n bytes through a descriptor, whatever signals come.
//
// A signal caught during read or write makes the call return early (EINTR)
// or move fewer bytes than asked; these helpers go on where the call
// stopped, so a caller sees either every byte or a real end of file or
// error. Both use only read, write and send, and so may be called from a
// signal handler.
#ifndef YM_IO_H
#define YM_IO_H

#include <stddef.h>

// Writes the n bytes at buf. On a socket a peer that has gone away gives
// EPIPE instead of SIGPIPE. Returns 0 when all were written, else -1 with
// errno set (EPIPE when the descriptor took nothing). errno is unchanged on
// success.
int ymWriteAll(int fd, const void* buf, size_t n);

// Reads until n bytes are in buf or the descriptor reaches end of file.
// Returns the bytes read (fewer than n only at end of file), or -1 with
// errno set.
long ymReadAll(int fd, void* buf, size_t n);

#endif
