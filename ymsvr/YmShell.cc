// Shell command lines of the document path; see YmShell.h.
#include "YmShell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "YmPlatform.h"
#include "YmTmpFile.h"

namespace {

// A started command: its pid (also its process group) and its slot in the
// running-command table.
struct Child {
    pid_t pid = -1;
    int slot = -1;
};

// Starts cmd with standard output on outFd (-1: the server's own). The kill
// signals are held from before the fork until the group is recorded, so a
// handler either finds the group or finds no child at all.
Child spawn(const std::string& cmd, int outFd) {
    static const bool haveBash = access("/bin/bash", X_OK) == 0;
    Child c;
    YmHoldKillSignals hold;
    pid_t pid = fork();
    if (pid < 0) return c;
    if (pid == 0) {
        setpgid(0, 0);
        // The server's handlers must not run here before exec replaces them,
        // and the tools expect the usual dispositions (a shell that ignores
        // SIGCHLD cannot collect its pipeline's statuses).
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGCHLD}) signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        int fd = open("/dev/null", O_RDONLY);
        if (fd >= 0 && fd != 0) {
            dup2(fd, 0);
            close(fd);
        }
        if (outFd >= 0 && outFd != 1) {
            dup2(outFd, 1);
            close(outFd);
        }
        if (haveBash)
            execl("/bin/bash", "bash", "-o", "pipefail", "-c", cmd.c_str(),
                  static_cast<char*>(nullptr));
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Both sides set the group, so it exists whichever runs first.
    setpgid(pid, pid);
    c.pid = pid;
    c.slot = ymTrackGroup(pid);
    if (c.slot < 0) {
        // Nothing could end it on a signal: do not run it at all.
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        c.pid = -1;
    }
    return c;
}

// Waits for the child and returns its wait status. The child is reaped only
// after its group has left the table, so the table never names a group
// whose number may already belong to someone else.
int finish(const Child& c) {
    siginfo_t info;
    while (waitid(P_PID, id_t(c.pid), &info, WEXITED | WNOWAIT) != 0) {
        if (errno != EINTR) break;
    }
    YmHoldKillSignals hold;
    ymUntrackGroup(c.slot);
    int status = 0;
    while (waitpid(c.pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

}  // namespace

int ymRunShell(const std::string& cmd) {
    Child c = spawn(cmd, -1);
    return c.pid < 0 ? -1 : finish(c);
}

bool ymShellOk(const std::string& cmd) { return ymRunShell(cmd) == 0; }

int ymRunShellRead(const std::string& cmd, int pieceMax,
                   const std::function<void(const char* piece)>& take) {
    int fds[2];
    if (pieceMax < 2 || pipe2(fds, O_CLOEXEC) != 0) return -1;
    Child c = spawn(cmd, fds[1]);
    close(fds[1]);
    FILE* fp = c.pid < 0 ? nullptr : fdopen(fds[0], "r");
    if (!fp) {
        close(fds[0]);
        return c.pid < 0 ? -1 : finish(c);
    }
    std::vector<char> piece(static_cast<size_t>(pieceMax));
    for (;;) {
        if (!fgets(piece.data(), pieceMax, fp)) {
            // A signal (the display cancel) may cut a read short; stopping
            // there would leave the command blocked on a full pipe.
            if (ferror(fp) && errno == EINTR) {
                clearerr(fp);
                continue;
            }
            break;
        }
        take(piece.data());
    }
    fclose(fp);
    return finish(c);
}

std::string ymShellPath(const char* path) {
    std::string p = path ? path : "";
    if (!p.empty() && p.find_first_not_of(
                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-+,") ==
                          std::string::npos)
        return p;
    return ymShellQuote(p);
}
