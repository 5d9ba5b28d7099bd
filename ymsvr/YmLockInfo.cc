// The lock-info answer written from a signal handler; see YmLockInfo.h.
#include "YmLockInfo.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "YmIo.h"
#include "YmPlatform.h"

namespace {

char gPath[PATH_MAX];
// "name\n"; swapped whole with SIGUSR2 blocked.
char* volatile gLine = nullptr;
volatile size_t gLineLen = 0;

}  // namespace

int ymLockInfoInit() {
    const char* p = ymPath(YmPath::LockInfo);
    size_t n = strlen(p);
    if (n >= sizeof gPath) return 0;
    memcpy(gPath, p, n + 1);
    return 1;
}

const char* ymLockInfoPath() { return gPath; }

void ymLockInfoSetUser(const char* name, size_t len) {
    char* line = static_cast<char*>(malloc(len + 1));
    if (!line) return;
    if (len) memcpy(line, name, len);
    line[len] = '\n';

    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    sigprocmask(SIG_BLOCK, &block, &old);
    char* prev = gLine;
    gLine = line;
    gLineLen = len + 1;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    free(prev);
}

int ymLockInfoWrite() {
    int saved = errno;
    int ret = -1;
    if (gPath[0]) {
        // No symlink is followed: the folder is writable by everyone.
        int fd = open(gPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ret = gLine ? ymWriteAll(fd, gLine, gLineLen) : ymWriteAll(fd, "\n", 1);
            close(fd);
        }
    }
    errno = saved;
    return ret;
}
