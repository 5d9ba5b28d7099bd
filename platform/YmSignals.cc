// Kill signals acted on at quiet points only; see YmSignals.h.
#include "YmSignals.h"

#include <pthread.h>
#include <time.h>

#include <cstring>

namespace {

void (*volatile gAction)(int) = nullptr;
volatile sig_atomic_t gWaiting = 0;  // 1 between ymPeerWaitBegin and End
volatile sig_atomic_t gNoted = 0;    // a signal whose action is due; 0: none
volatile sig_atomic_t gHolds = 0;    // live YmKillSignalsHeld objects

// While the signals are held, asking the kernel whether one is pending costs
// a system call; a long piece of work that asks between every step asks it
// at most this often, and is told the last answer in between.
constexpr long long kPendingAskNs = 100000;
long long gPendingAsked = 0;  // when the kernel was last asked; 0: not during this hold
bool gPendingSeen = false;

long long monotonicNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void onKillSignal(int sig) {
    if (gWaiting && gAction) {
        gAction(sig);
        return;
    }
    gNoted = sig;
}

// A child did not receive its parent's signal.
void forgetNoted() { gNoted = 0; }

}  // namespace

void ymKillSignalSet(sigset_t* set) {
    sigemptyset(set);
    sigaddset(set, SIGHUP);
    sigaddset(set, SIGINT);
    sigaddset(set, SIGQUIT);
}

void ymOnKillSignal(void (*action)(int)) {
    static bool registered = false;
    if (!registered) {
        pthread_atfork(nullptr, nullptr, forgetNoted);
        registered = true;
    }
    gAction = action;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onKillSignal;
    ymKillSignalSet(&sa.sa_mask);
    // A signal that is only noted must not make the interrupted work fail.
    sa.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGQUIT, &sa, nullptr);
}

void ymPeerWaitBegin() {
    gWaiting = 1;
    int sig = gNoted;
    if (!sig || !gAction || gHolds > 0) return;
    // As in the handler: no second kill signal while the action runs.
    sigset_t kill, old;
    ymKillSignalSet(&kill);
    sigprocmask(SIG_BLOCK, &kill, &old);
    gNoted = 0;
    gAction(sig);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void ymPeerWaitEnd() { gWaiting = 0; }

bool ymKillPending() {
    if (gNoted) return true;
    long long now = 0;
    if (gHolds > 0) {
        // A held signal stays pending until the hold ends, so a "yes" holds.
        now = monotonicNs();
        if (gPendingAsked != 0 && (gPendingSeen || now - gPendingAsked < kPendingAskNs)) return gPendingSeen;
    }
    sigset_t s;
    if (sigpending(&s) != 0) return false;
    bool pending =
        sigismember(&s, SIGHUP) == 1 || sigismember(&s, SIGINT) == 1 || sigismember(&s, SIGQUIT) == 1;
    if (gHolds > 0) {
        gPendingAsked = now;
        gPendingSeen = pending;
    }
    return pending;
}

YmKillSignalsHeld::YmKillSignalsHeld() {
    sigset_t s;
    ymKillSignalSet(&s);
    sigprocmask(SIG_BLOCK, &s, &_old);
    gHolds = gHolds + 1;
    gPendingAsked = 0;  // the first question of a hold goes to the kernel
}

YmKillSignalsHeld::~YmKillSignalsHeld() {
    gHolds = gHolds - 1;
    sigprocmask(SIG_SETMASK, &_old, nullptr);
}
