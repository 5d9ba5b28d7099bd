// The server's process-wide pieces: its long-lived objects, the quit
// message's handler, the signal handlers and the receive-and-dispatch loop.
// The program's entry (ymsvr.cc) builds the objects in order and runs the
// loop.
#ifndef YM_SERVER_H
#define YM_SERVER_H

#include "mps.h"

class YmInitModel;
class YmSrchModel;

// Null until main creates them; they live as long as the process.
extern YmInitModel* theInitModel;
extern YmSrchModel* theSrchModel;

constexpr int YM_DEFAULT_PORT = 6004;

// Handler of the quit message: shuts the search down, closes the connection
// (after a one-second pause) and exits 0.
int quitCB(void* svcThis, int flag, char* data, int dlen, char** res, int* rlen);

// The work of SIGHUP, SIGINT, SIGQUIT, installed with ymOnKillSignal so that
// it runs only while the process waits for its client: shuts the search
// down, tells the client with message 102 (the listener has no client and
// sends nothing), and exits 1.
void killCB(int sig);

// SIGUSR2: writes the logged-in user's name into the lock-info file, then
// reinstalls itself.
void infoOutCB(int sig);

// Writes the usage text to standard error and exits 1.
[[noreturn]] void usage();

// Receives and dispatches until a receive fails for good; returns the failed
// receive's result (-1). Runs in the listener and in every connection
// process.
int ymServerLoop();

#endif
