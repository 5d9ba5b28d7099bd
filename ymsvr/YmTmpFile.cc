// Temporary files and the signal-time cleanup; see YmTmpFile.h.
#include "YmTmpFile.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "YmPlatform.h"
#include "YmSignals.h"

namespace {

// A slot is in use while `used` is 1; its name is written before and
// cleared after, with the kill signals held, so a handler that finds it in
// use finds a whole name.
struct LiveFile {
    volatile sig_atomic_t used;
    char name[PATH_MAX];
};

LiveFile gLive[YM_TMP_LIVE_MAX];
volatile sig_atomic_t gGroups[YM_RUNNING_MAX];  // 0: free

const char* tmpFolder() {
    const char* dir = getenv("TMPDIR");
    struct stat st;
    if (!dir || !*dir || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) dir = P_tmpdir;
    return dir;
}

void termHandler(int) {
    ymCleanupOnSignal();
    signal(SIGTERM, SIG_DFL);
    // Delivered, by its default action, as soon as this handler returns.
    raise(SIGTERM);
}

}  // namespace

YmHoldKillSignals::YmHoldKillSignals() {
    sigset_t set;
    ymKillSignalSet(&set);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, &_old);
}

YmHoldKillSignals::~YmHoldKillSignals() { sigprocmask(SIG_SETMASK, &_old, nullptr); }

YmTmpFile::YmTmpFile(const char* prefix) : _slot(-1) {
    YmHoldKillSignals hold;
    int slot = 0;
    while (slot < YM_TMP_LIVE_MAX && gLive[slot].used) slot++;
    if (slot == YM_TMP_LIVE_MAX) return;
    LiveFile& f = gLive[slot];
    int n = snprintf(f.name, sizeof f.name, "%s/%sXXXXXX", tmpFolder(), prefix ? prefix : "");
    if (n < 0 || size_t(n) >= sizeof f.name) return;
    int fd = mkstemp(f.name);
    if (fd < 0) return;
    close(fd);
    f.used = 1;
    _slot = slot;
}

YmTmpFile::~YmTmpFile() {
    if (_slot < 0) return;
    YmHoldKillSignals hold;
    unlink(gLive[_slot].name);
    gLive[_slot].used = 0;
}

const char* YmTmpFile::name() const { return _slot >= 0 ? gLive[_slot].name : ""; }

std::string YmTmpFile::quoted() const { return ymShellQuote(name()); }

void YmTmpFile::forgetIfGone() {
    if (_slot < 0 || access(gLive[_slot].name, F_OK) == 0) return;
    YmHoldKillSignals hold;
    gLive[_slot].used = 0;
    _slot = -1;
}

int ymTrackGroup(pid_t pgid) {
    for (int i = 0; i < YM_RUNNING_MAX; i++) {
        if (gGroups[i] == 0) {
            gGroups[i] = pgid;
            return i;
        }
    }
    return -1;
}

void ymUntrackGroup(int slot) {
    if (slot >= 0 && slot < YM_RUNNING_MAX) gGroups[slot] = 0;
}

void ymCleanupOnSignal() {
    // The groups first: a pipeline still writing could otherwise make its
    // output file again after it was removed.
    for (int i = 0; i < YM_RUNNING_MAX; i++) {
        if (gGroups[i] > 0) kill(-pid_t(gGroups[i]), SIGKILL);
        gGroups[i] = 0;
    }
    for (LiveFile& f : gLive) {
        if (f.used) unlink(f.name);
        f.used = 0;
    }
}

void ymCleanupOnTerm() {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = termHandler;
    ymKillSignalSet(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
}
