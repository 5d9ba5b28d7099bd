// Test databases; see YmTestDatabase.h.
#include "YmTestDatabase.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "YmPlatform.h"

bool ymIndexDatabase(const std::string& settings, const std::string& name, const std::string& docs,
                     std::string* log) {
    const char* binDir = getenv("YM_BIN_DIR");
    std::string cmd = ymShellQuote(std::string(binDir ? binDir : ".") + "/ftindex") + " -q -s " +
                      ymShellQuote(settings) + " -n " + ymShellQuote(name) + " -d " +
                      ymShellQuote(docs) + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return false;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (log) *log = out;
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

bool ymAddTinyDatabase(const YmTempDir& dir, const std::string& name) {
    std::string docs = name + ".docs";
    dir.write(docs + "/readme.txt",
              "A tiny database so that the server has something to search.\n");
    return ymIndexDatabase(dir.path(), name, dir.file(docs));
}
