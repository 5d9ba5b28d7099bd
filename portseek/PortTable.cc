// Reading the kernel's TCP socket tables and picking a free port.
#include "PortTable.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const kPsTcpTable = "/proc/net/tcp";
const char* const kPsTcp6Table = "/proc/net/tcp6";

namespace {
const int kMaxPort = 65535;
}

void psReadSocketTable(FILE* table, std::vector<int>& ports) {
    char* line = nullptr;
    size_t cap = 0;
    while (getline(&line, &cap, table) != -1) {
        // "sl: local-address:port remote-address:port state ...", all in hex;
        // the heading line fails the first conversion.
        unsigned port = 0;
        int n = std::sscanf(line, " %*u: %*[0-9A-Fa-f]:%x", &port);
        if (n == 1 && port <= static_cast<unsigned>(kMaxPort)) ports.push_back(static_cast<int>(port));
    }
    std::free(line);
}

bool psTakenPorts(std::vector<int>& ports, std::string& err) {
    for (const char* path : {kPsTcpTable, kPsTcp6Table}) {
        FILE* f = std::fopen(path, "r");
        if (!f) {
            if (errno == ENOENT && path == kPsTcp6Table) continue;
            err = std::string("cannot read ") + path + ": " + std::strerror(errno);
            return false;
        }
        psReadSocketTable(f, ports);
        bool failed = std::ferror(f);
        std::fclose(f);
        if (failed) {
            err = std::string("error reading ") + path;
            return false;
        }
    }
    return true;
}

int psFirstFreePort(int start, const std::vector<int>& taken) {
    if (start < 0 || start > kMaxPort) return -1;
    std::vector<bool> used(kMaxPort + 1);
    for (int p : taken) {
        if (p >= 0 && p <= kMaxPort) used[p] = true;
    }
    for (int p = start; p <= kMaxPort; ++p) {
        if (!used[p]) return p;
    }
    return -1;
}

bool psParsePort(const char* text, int& port) {
    if (!*text) return false;
    long v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > kMaxPort) return false;
    }
    if (v < 1) return false;
    port = static_cast<int>(v);
    return true;
}
