// The fixed-path table and the platform root; see YmPlatform.h.
#include "YmPlatform.h"

#include <cstdlib>
#include <cstring>

namespace {

const char* const kLiteral[] = {
    "/usr/tmp/.drusk_flock_info",
    "/usr/tmp",
    "/bin/kill",
    "/bin/cat",
    "/bin/cp",
    "/usr/bin/tbl",
    "/usr/bin/nroff",
    "/usr/bin/col",
    "/usr/bin/pcat",
    "/usr/bsd/zcat",
    "/usr/lib/tmac/tmac.an",
    "/usr/bin/lp",
    "/usr/bsd/rsh",
    "/usr/lib/sendmail",
    "/usr/sbin/slidra",
    "/usr/sbin/scenview",
    "/d/druskII/bin/dms/dmFieldUpd",
};
static_assert(sizeof(kLiteral) / sizeof(kLiteral[0]) == size_t(YmPath::Count_),
              "one literal per YmPath");

bool gReady = false;
std::string gRoot;
std::string gRooted[size_t(YmPath::Count_)];

void fill() {
    const char* r = getenv("YM_ROOT");
    gRoot = r ? r : "";
    while (!gRoot.empty() && gRoot.back() == '/') gRoot.pop_back();
    for (size_t i = 0; i < size_t(YmPath::Count_); i++) gRooted[i] = gRoot + kLiteral[i];
    if (!gRoot.empty()) {
        const char* old = getenv("PATH");
        std::string path = gRoot + "/usr/bin:" + gRoot + "/bin";
        std::string oldPath = old ? old : "/usr/bin:/bin";
        if (oldPath.compare(0, path.size(), path) != 0) setenv("PATH", (path + ":" + oldPath).c_str(), 1);
    }
    gReady = true;
}

}  // namespace

const char* ymPathLiteral(YmPath id) { return kLiteral[size_t(id)]; }

const char* ymPath(YmPath id) {
    if (!gReady) fill();
    return gRooted[size_t(id)].c_str();
}

const char* ymPlatformRoot() {
    if (!gReady) fill();
    return gRoot.c_str();
}

void ymPlatformInit() {
    if (!gReady) fill();
}

void ymPlatformReset() { fill(); }

std::string ymRooted(const char* literal) {
    if (!gReady) fill();
    return gRoot + literal;
}

std::string ymShellQuote(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += "'";
    return out;
}
