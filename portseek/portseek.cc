// portseek: prints the first TCP port at or above the given one that no
// socket of this machine uses, so that it can be handed to a server's port
// option.
//
//   portseek startPortNum
//
// The port goes to standard output as "%d\n". Callers rely on this: the exit
// status is 1 in every case, after a usage error as after printing a port;
// what is on standard output tells them apart.
#include <cstdio>
#include <string>
#include <vector>

#include "PortTable.h"

int startPortNum;

int main(int argc, char** argv) {
    if (argc != 2 || !psParsePort(argv[1], startPortNum)) {
        std::fprintf(stderr, "-1 : usage : %s startPortNum\n", argv[0]);
        return 1;
    }
    std::vector<int> taken;
    std::string err;
    if (!psTakenPorts(taken, err)) {
        // Guessing a port without knowing what is in use would hand out one
        // the server may not bind, so print none.
        std::fprintf(stderr, "portseek: %s\n", err.c_str());
        return 1;
    }
    int port = psFirstFreePort(startPortNum, taken);
    if (port < 0) {
        std::fprintf(stderr, "portseek: no free port at or above %d\n", startPortNum);
        return 1;
    }
    std::printf("%d\n", port);
    return 1;
}
