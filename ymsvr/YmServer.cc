// The server's loop, quit message and signal handlers.
//
// A message from socket to reply:
// 1. The listening process accepts, forks, closes its copy of the socket and
//    goes back to accept; it never reads a payload.
// 2. The connection process reads exactly 12 header bytes, converts them from
//    network order, checks them, and only then allocates Length bytes and
//    reads exactly that many (Msg::Recv).
// 3. The loop hands type, flag and payload to MPS::Send, which calls the
//    handlers registered for the type, or sends an unhandled message back to
//    the client unchanged.
// 4. A handler casts svcThis to its model, decodes with the request
//    message's readIn, calls one model method and answers with the result
//    message's send. No socket calls in handlers, no parsing in models.
// 5. Each model registers its handlers in one function, one line per type.
// 6. Frame checks run once, before dispatch: a handler can rely on a complete
//    payload within the limits, followed by a NUL byte.
#include "YmServer.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "YmLockInfo.h"
#include "YmMsgTypes.h"
#include "YmSrchModel.h"
#include "YmTmpFile.h"

YmInitModel* theInitModel = nullptr;
YmSrchModel* theSrchModel = nullptr;

namespace {

// Closes the search, the databases and the engine.
void quitSearch() {
    if (theSrchModel) theSrchModel->quit();
}

}  // namespace

int quitCB(void*, int, char*, int, char**, int*) {
    quitSearch();
    theMPS->Close();
    exit(0);
}

void killCB(int) {
    // This runs only at a quiet point, while the process waits for its
    // client (YmSignals.h): nothing is half done, so the engine can be shut
    // down and the notice cannot land inside another frame.
    ymCleanupOnSignal();
    quitSearch();
    // The listener has no client and sends nothing.
    if (theMPS) theMPS->_msg.SendNotice(YmMsgType::ServerDown, 0);
    // Straight to the kernel: stdio and exit handlers are not safe in a
    // signal handler, and sanitizer runtimes hook _exit with a leak check
    // that can deadlock on a lock the interrupted code holds.
    syscall(SYS_exit_group, 1);
    _exit(1);
}

void infoOutCB(int) {
    if (theInitModel) ymLockInfoWrite();
    signal(SIGUSR2, infoOutCB);
}

void usage() {
    fprintf(stderr, "\nusage: ymsvr [ -p port ] [ -f FULSEARCH ]\n");
    exit(1);
}

int ymServerLoop() {
    for (;;) {
        char* dataPtr = nullptr;
        int cnt = theMPS->Recv(&dataPtr);
        if (cnt < 0) {
            int err = theMPS->Errno();
            if (err == MPS_NEWCONN || err == MPS_EINTR) continue;
            return cnt;
        }
        theMPS->Send(theMPS->GetType(), theMPS->GetFlag(), dataPtr, cnt, nullptr, nullptr);
        free(dataPtr);
    }
}
