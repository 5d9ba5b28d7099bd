// ymsvr: the knowledge-base server. Parses the command line, installs the
// signal handlers, opens the service on its port, builds the models in their
// fixed order (each registers its message types, which fixes the dispatch
// table's slot order), and runs the receive-and-dispatch loop.
//
//   ymsvr [ -p port ] [ -f FULSEARCH ]
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "YmDocEditMgr.h"
#include "YmDocModelMgr.h"
#include "YmInitModel.h"
#include "YmLockInfo.h"
#include "YmMsgTypes.h"
#include "YmPlatform.h"
#include "YmServer.h"
#include "YmSignals.h"
#include "YmSrchModel.h"

int main(int argc, char** argv) {
    // The handlers read the rooted lock-info path: fix it before they exist.
    ymPlatformInit();
    if (!ymLockInfoInit()) {
        fprintf(stderr, "ymsvr: lock-info path too long: %s\n", ymPath(YmPath::LockInfo));
        return 1;
    }

    int port = 0;
    int opt;
    while ((opt = getopt(argc, argv, "p:f:")) != -1) {
        switch (opt) {
        case 'p': {
            // Not a number means the default port, as 0 does; a number that
            // is no TCP port is refused rather than cut to 16 bits.
            errno = 0;
            char* end = nullptr;
            long v = strtol(optarg, &end, 10);
            if (errno == ERANGE || v < 0 || v > 65535) {
                fprintf(stderr, "ymsvr: port %s is out of range (0-65535)\n", optarg);
                usage();
            }
            port = int(v);
            break;
        }
        case 'f':
            // setenv copies the value, so any length fits.
            if (optarg[0] && setenv("FULSEARCH", optarg, 1) != 0) {
                perror("ymsvr: setenv(FULSEARCH)");
                return 1;
            }
            break;
        default:
            usage();
        }
    }
    if (port == 0) port = YM_DEFAULT_PORT;

    // SIGHUP, SIGINT and SIGQUIT end the process only at a quiet point
    // (YmSignals.h), one at a time.
    ymOnKillSignal(killCB);
    signal(SIGUSR2, infoOutCB);

    theMPS = new MPS;
    theMPS->Init(port, nullptr);
    theMPS->Register(YmMsgType::Quit, quitCB, nullptr);

    theInitModel = new YmInitModel;
    if (!theInitModel->init()) usage();

    // The search model: the engine and the database table, then 307, 301
    // and 302. A server without a database has nothing to serve.
    theSrchModel = new YmSrchModel;
    if (!theSrchModel->initFT()) {
        const char* used = getenv("FULSEARCH");
        if (!used) used = getenv("FULPATH");
        fprintf(stderr,
                "ymsvr: No Databases Found for \"FULSEARCH\" or Error in Init\nymsvr: \"FULSEARCH\" used is");
        fprintf(stderr, " %s\n", used ? used : "<NONE>");
        usage();
    }
    theSrchModel->init();

    // The document model manager: 405 and 701. Never deleted; held by a
    // static so that it stays reachable after main's frame is gone.
    static YmDocModelMgr* docModelMgr = new YmDocModelMgr;
    docModelMgr->init();

    // The document edit manager: 413, 414, 416, 420 and 418.
    static YmDocEditMgr* docEditMgr = new YmDocEditMgr;
    docEditMgr->init();

    return ymServerLoop();
}
