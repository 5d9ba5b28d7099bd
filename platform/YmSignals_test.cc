// The kill signals' quiet points: an action runs at once during a wait for
// the peer, is only noted at other times and runs at the next wait, waits
// while the signals are held, never runs twice at once, and a noted signal
// is not passed on to a forked child. Each case runs in a child process,
// since the action ends the process.
#include "YmSignals.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

int gOut = -1;  // the child's end of the marker pipe

void mark(char c) {
    if (write(gOut, &c, 1) != 1) _exit(99);
}

// The action: a marker, a second kill signal (which must wait), another
// marker, then the end of the process with a status naming the signal.
void action(int sig) {
    mark('A');
    raise(SIGQUIT);
    mark('B');
    _exit(40 + sig);
}

struct Outcome {
    int status = -1;  // exit status, or -1 when killed by a signal
    std::string marks;
};

// Runs body in a child that has the action installed; fromParent, if
// given, runs in the parent once the child has written its first marker.
Outcome inChild(void (*body)(int wakeFd), void (*fromParent)(pid_t) = nullptr) {
    int marks[2], wake[2];
    Outcome o;
    if (pipe(marks) < 0 || pipe(wake) < 0) return o;
    pid_t pid = fork();
    if (pid == 0) {
        close(marks[0]);
        close(wake[1]);
        gOut = marks[1];
        ymOnKillSignal(action);
        body(wake[0]);
        _exit(0);
    }
    close(marks[1]);
    close(wake[0]);
    char buf[64];
    if (fromParent) {
        if (read(marks[0], buf, 1) == 1) o.marks += buf[0];
        fromParent(pid);
    }
    ssize_t n;
    while ((n = read(marks[0], buf, sizeof buf)) > 0) o.marks.append(buf, size_t(n));
    close(marks[0]);
    close(wake[1]);
    int st = 0;
    waitpid(pid, &st, 0);
    o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return o;
}

TEST(KillSignals, NotedOutsideAWaitActedOnAtTheNext) {
    Outcome o = inChild([](int) {
        raise(SIGINT);  // the work goes on
        mark(ymKillPending() ? 'p' : '-');
        ymPeerWaitBegin();
        mark('x');  // not reached
    });
    EXPECT_EQ(o.marks, "pAB");
    EXPECT_EQ(o.status, 40 + SIGINT);
}

TEST(KillSignals, ActedOnAtOnceDuringAWait) {
    Outcome o = inChild(
        [](int wake) {
            mark('w');
            ymPeerWaitBegin();
            char c;
            ssize_t r = read(wake, &c, 1);  // blocks until the signal
            (void)r;
            ymPeerWaitEnd();
            mark('x');
        },
        // The child marks before it waits; a signal that comes before the
        // wait begins is noted and acted on as it begins.
        [](pid_t child) { kill(child, SIGHUP); });
    EXPECT_EQ(o.marks, "wAB");
    EXPECT_EQ(o.status, 40 + SIGHUP);
}

TEST(KillSignals, HeldSignalsWaitForTheHoldToEnd) {
    Outcome o = inChild([](int) {
        {
            YmKillSignalsHeld held;
            {
                YmKillSignalsHeld nested;
            }
            raise(SIGHUP);
            mark(YmKillSignalsHeld::pending() ? 'p' : '-');
            ymPeerWaitBegin();  // held: no action here
            ymPeerWaitEnd();
            mark('h');
        }
        mark('r');  // delivered now, and only noted
        ymPeerWaitBegin();
    });
    EXPECT_EQ(o.marks, "phrAB");
    EXPECT_EQ(o.status, 40 + SIGHUP);
}

// Work that asks between every step learns of a signal that comes during
// the hold, though the kernel is not asked every time.
TEST(KillSignals, AHeldSignalIsSeenByWorkThatKeepsAsking) {
    Outcome o = inChild([](int) {
        {
            YmKillSignalsHeld held;
            mark(YmKillSignalsHeld::pending() ? '!' : '-');
            raise(SIGINT);
            bool seen = false;
            for (int step = 0; step < 10000000 && !seen; step++) seen = YmKillSignalsHeld::pending();
            mark(seen ? 'p' : '!');
        }
        ymPeerWaitBegin();
    });
    EXPECT_EQ(o.marks, "-pAB");
    EXPECT_EQ(o.status, 40 + SIGINT);
}

TEST(KillSignals, AForkedChildDoesNotInheritANotedSignal) {
    Outcome o = inChild([](int) {
        raise(SIGQUIT);
        pid_t kid = fork();
        if (kid == 0) {
            ymPeerWaitBegin();
            _exit(ymKillPending() ? 1 : 0);
        }
        int st = 0;
        waitpid(kid, &st, 0);
        mark(WIFEXITED(st) && WEXITSTATUS(st) == 0 ? 'c' : '!');
        ymPeerWaitBegin();
    });
    EXPECT_EQ(o.marks, "cAB");
    EXPECT_EQ(o.status, 40 + SIGQUIT);
}

}  // namespace
