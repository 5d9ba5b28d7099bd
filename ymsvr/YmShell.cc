// Shell command lines of the document models; see YmShell.h.
#include "YmShell.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "YmPlatform.h"

int ymRunShell(const std::string& cmd) {
    static const bool haveBash = access("/bin/bash", X_OK) == 0;
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int fd = open("/dev/null", O_RDONLY);
        if (fd >= 0 && fd != 0) {
            dup2(fd, 0);
            close(fd);
        }
        if (haveBash)
            execl("/bin/bash", "bash", "-o", "pipefail", "-c", cmd.c_str(),
                  static_cast<char*>(nullptr));
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

bool ymShellOk(const std::string& cmd) { return ymRunShell(cmd) == 0; }

std::string ymShellPath(const char* path) {
    std::string p = path ? path : "";
    if (!p.empty() && p.find_first_not_of(
                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-+,") ==
                          std::string::npos)
        return p;
    return ymShellQuote(p);
}
