// Running the client program from a test: drusk against a server on a
// loopback port, logged in as jo of group staff (id 50), its output and
// errors captured through files in a folder of the test.
//
//   class MyTest : public DruskServerTest {
//     protected:
//       void SetUp() override {
//           useOwnRoot();                        // optional: ROOT of this test
//           data.write("drusktree", "0|Library|x|y|kb\n");
//           ...                                  // databases in data
//           startServer();
//       }
//   };
//   Outcome r = drusk({"search", "fox"});
#ifndef DRUSK_TESTRUN_H
#define DRUSK_TESTRUN_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "YmPlatform.h"
#include "YmServerFixture.h"
#include "YmTestRoot.h"

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

// A server on the settings folder data with the platform root root; drusk
// writes its output into out.
class DruskServerTest : public ::testing::Test {
  protected:
    // The root mirrors the build's tree (stand-ins for spooler, mail and
    // fax), and this process uses it too.
    void useOwnRoot() {
        ymMirrorRoot(root.path());
        setenv("YM_ROOT", root.path().c_str(), 1);
    }
    void startServer() {
        ASSERT_TRUE(srv.start({"FULSEARCH=" + data.path(), "FULPATH", "YM_ROOT=" + root.path()}))
            << srv.log();
    }
    Outcome drusk(const std::vector<std::string>& args, int port = 0) {
        return ymRunDrusk(port ? port : srv.port(), args, out);
    }

    YmTempDir root, data, out;
    YmServer srv;
};

#endif
