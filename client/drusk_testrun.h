// Running the client program from a test: drusk against a server on a
// loopback port, logged in as jo of group staff (id 50), its output and
// errors captured through files in a folder of the test.
#ifndef DRUSK_TESTRUN_H
#define DRUSK_TESTRUN_H

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "YmPlatform.h"
#include "YmServerFixture.h"

struct Outcome {
    int status = -1;  // exit status, -1 when killed
    std::string out, err;
};

inline Outcome ymRunDrusk(int port, const std::vector<std::string>& args, const YmTempDir& dir) {
    const char* bin = getenv("YM_BIN_DIR");
    std::string cmd = ymShellQuote(std::string(bin ? bin : ".") + "/drusk") + " -p " +
                      std::to_string(port) + " -u jo -g staff -G 50";
    for (const std::string& a : args) cmd += " " + ymShellQuote(a);
    cmd += " >" + ymShellQuote(dir.file("out")) + " 2>" + ymShellQuote(dir.file("err")) +
           " </dev/null";
    Outcome r;
    int st = system(cmd.c_str());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = dir.read("out");
    r.err = dir.read("err");
    return r;
}

#endif
