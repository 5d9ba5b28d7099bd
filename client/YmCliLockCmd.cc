// drusk lock: locks a document for editing and holds the lock until a line
// or the end of standard input, then unlocks it. A lock lives only as long
// as the session, so the command keeps its session open meanwhile.
//
//   drusk lock [document options] [query words...]
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "YmCliCommands.h"
#include "YmCliEdit.h"

void ymCliLockUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] lock [options] [query words...]\n"
            "Locks a document for editing, so that no other user can lock or save it,\n"
            "and holds the lock until a line is entered or the input ends; then unlocks\n"
            "it. When another user holds the lock, says who.\n");
    ymCliDocUsage(out);
}

int ymCliLockDoc(YmCliSession& session, int argc, char** argv) {
    YmCliEditDoc doc;
    int st = ymCliEditDocOnly(session, argc, argv, ymCliLockUsage, &doc);
    int fd = -1;
    if (st == YM_CLI_OK) st = ymCliLock(session, doc.file, &fd);
    if (st != YM_CLI_OK) return st;
    if (fd < 0) return ymCliLockRefused(session, "lock", doc.file);

    printf("locked %s (lock %d); enter a line or end the input to unlock\n", doc.file.c_str(), fd);
    fflush(stdout);
    for (;;) {
        int ch = getchar();
        if (ch == '\n') break;
        if (ch != EOF) continue;
        if (!ferror(stdin) || errno != EINTR) break;
        clearerr(stdin);
    }
    st = ymCliUnlock(session, fd);
    if (st != YM_CLI_OK) return st;
    printf("unlocked %s\n", doc.file.c_str());
    return YM_CLI_OK;
}
