// Kill signals acted on at quiet points only; see YmSignals.h.
#include "YmSignals.h"

#include <pthread.h>

#include <cstring>

namespace {

void (*volatile gAction)(int) = nullptr;
volatile sig_atomic_t gWaiting = 0;  // 1 between ymPeerWaitBegin and End
volatile sig_atomic_t gNoted = 0;    // a signal whose action is due; 0: none
volatile sig_atomic_t gHolds = 0;    // live YmKillSignalsHeld objects

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
    sigset_t s;
    if (sigpending(&s) != 0) return false;
    return sigismember(&s, SIGHUP) == 1 || sigismember(&s, SIGINT) == 1 || sigismember(&s, SIGQUIT) == 1;
}

YmKillSignalsHeld::YmKillSignalsHeld() {
    sigset_t s;
    ymKillSignalSet(&s);
    sigprocmask(SIG_BLOCK, &s, &_old);
    gHolds = gHolds + 1;
}

YmKillSignalsHeld::~YmKillSignalsHeld() {
    gHolds = gHolds - 1;
    sigprocmask(SIG_SETMASK, &_old, nullptr);
}
