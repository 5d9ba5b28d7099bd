// Exact reads and writes; see YmIo.h.
#include "YmIo.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

int ymWriteAll(int fd, const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    bool socket = true;  // until the descriptor says otherwise
    int saved = errno;
    while (n > 0) {
        ssize_t w = socket ? send(fd, p, n, MSG_NOSIGNAL) : write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (socket && errno == ENOTSOCK) {
                socket = false;
                continue;
            }
            return -1;
        }
        if (w == 0) {
            errno = EPIPE;
            return -1;
        }
        p += w;
        n -= size_t(w);
    }
    errno = saved;
    return 0;
}

long ymReadAll(int fd, void* buf, size_t n) {
    char* p = static_cast<char*>(buf);
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, p + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += size_t(r);
    }
    return long(got);
}
