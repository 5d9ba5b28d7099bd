// Temporary files of the server's external commands, made safely, and what
// a connection process leaves behind when a signal ends it in the middle of
// a step.
//
// A name is never guessed and then opened: mkstemp creates the file, empty
// and readable by this user only, and the name returned is that file's. The
// folder is the system's one for temporary files: TMPDIR when it names a
// folder, else the C library's default.
//
// A signal that ends the process (SIGHUP, SIGINT, SIGQUIT, SIGTERM) skips
// every destructor, so the live temporary names and the process groups of
// the commands still running are also kept in small fixed tables that
// ymCleanupOnSignal() can work through from a signal handler: it ends the
// groups and removes the files. The tables are changed only while those
// signals are held, so a handler never sees half an entry.
#ifndef YM_TMP_FILE_H
#define YM_TMP_FILE_H

#include <signal.h>
#include <sys/types.h>

#include <string>

#include "YmStr.h"

// Temporary files alive at once (a fax has two; the rest one) and commands
// running at once (one); a request beyond them fails rather than leave
// something the cleanup would not know.
constexpr int YM_TMP_LIVE_MAX = 8;
constexpr int YM_RUNNING_MAX = 4;

// One temporary file: created by the constructor, removed by the destructor.
class YmTmpFile {
  public:
    // Creates "<folder>/<prefix>XXXXXX"; ok() is false when no file could
    // be made (or the table is full).
    explicit YmTmpFile(const char* prefix);
    ~YmTmpFile();
    YmTmpFile(const YmTmpFile&) = delete;
    YmTmpFile& operator=(const YmTmpFile&) = delete;

    bool ok() const { return _slot >= 0; }
    // The file's name; "" when !ok().
    const char* name() const;
    // The name as one quoted shell word.
    std::string quoted() const;
    // For a file that a command was to remove: when it is gone, forget it,
    // so that the destructor does not remove a file that has since been
    // made under the same name by someone else.
    void forgetIfGone();

  private:
    int _slot;
};

// Slots of the running-command table for YmShell: ymTrackGroup records the
// process group of a command just started (call it with the kill signals
// held, between fork and anything that can wait) and returns its slot, or
// -1 when the table is full; ymUntrackGroup(slot) frees it once the
// command has been waited for.
int ymTrackGroup(pid_t pgid);
void ymUntrackGroup(int slot);

// Holds SIGHUP, SIGINT, SIGQUIT and SIGTERM for the life of the object and
// then restores the mask as it was.
class YmHoldKillSignals {
  public:
    YmHoldKillSignals();
    ~YmHoldKillSignals();
    YmHoldKillSignals(const YmHoldKillSignals&) = delete;
    YmHoldKillSignals& operator=(const YmHoldKillSignals&) = delete;

  private:
    sigset_t _old;
};

// Async-signal-safe: kills (SIGKILL) the process group of every command
// still running and removes every live temporary file, then empties both
// tables. For the handlers of the signals that end a connection process.
void ymCleanupOnSignal();

// Installs a SIGTERM handler that runs ymCleanupOnSignal() and then ends
// the process by SIGTERM as before, so a terminated process leaves neither
// files nor running pipelines behind.
void ymCleanupOnTerm();

#endif
