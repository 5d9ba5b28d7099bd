// The signals that take a server process down (SIGHUP, SIGINT, SIGQUIT), and
// the moments at which their work may run.
//
// That work shuts the engine down (freeing memory), tells the client with a
// frame and ends the process. Run in the middle of the process's own work it
// could deadlock in the allocator, or put its frame inside a frame being
// written. So the work runs only at a quiet point: while the process waits
// for the next bytes from its peer, when nothing is half done. The transport
// marks each such wait with ymPeerWaitBegin()/ymPeerWaitEnd(). A signal that
// comes during a wait has its action run at once; one that comes at any
// other time is only noted, the interrupted call resumes, and the action
// runs at the start of the next wait. So a client sees whole frames only,
// and a kill during a long answer takes effect once the answer is out.
//
// Code that must not even be interrupted (engine start and shutdown) holds
// the signals with YmKillSignalsHeld; they are delivered when it ends.
#ifndef YM_SIGNALS_H
#define YM_SIGNALS_H

#include <signal.h>

// SIGHUP, SIGINT and SIGQUIT.
void ymKillSignalSet(sigset_t* set);

// Makes action the work of the three signals, run at quiet points as above
// (never two at once: each blocks the others while it runs). A signal noted
// in a process is forgotten by the children it forks.
void ymOnKillSignal(void (*action)(int sig));

// Around a wait for the peer. Begin runs the action of a signal noted
// meanwhile (unless the signals are held). Both are async-signal-safe.
void ymPeerWaitBegin();
void ymPeerWaitEnd();

// Whether a kill signal waits for its action: noted, or held and pending.
// A long piece of work can stop early when it does. While the signals are
// held, the kernel is asked at most every 100 microseconds (the first
// question of each hold always), so asking between every step is cheap.
bool ymKillPending();

// Holds the three signals for the life of the object, then restores the
// mask as it was. Nests.
class YmKillSignalsHeld {
  public:
    YmKillSignalsHeld();
    ~YmKillSignalsHeld();
    YmKillSignalsHeld(const YmKillSignalsHeld&) = delete;
    YmKillSignalsHeld& operator=(const YmKillSignalsHeld&) = delete;

    // The same as ymKillPending().
    static bool pending() { return ymKillPending(); }

  private:
    sigset_t _old;
};

#endif
