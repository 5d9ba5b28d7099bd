// drusk who: names the user who holds a document's lock.
//
//   drusk who [document options] [query words...]
//
// The server asks the holder's connection process, which takes it about two
// seconds.
#include <unistd.h>

#include <cstdio>

#include "YmCliCommands.h"
#include "YmCliEdit.h"

void ymCliWhoUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] who [options] [query words...]\n"
            "Says who holds a document's lock (\"not locked\" also for a file the server\n"
            "cannot lock).\n");
    ymCliDocUsage(out);
}

int ymCliWhoDoc(YmCliSession& session, int argc, char** argv) {
    YmCliEditDoc doc;
    std::string who;
    int st = ymCliEditDocOnly(session, argc, argv, ymCliWhoUsage, &doc);
    if (st == YM_CLI_OK) st = ymCliWho(session, doc.file, &who);
    if (st != YM_CLI_OK) return st;
    if (who.empty())
        printf("%s: not locked\n", doc.file.c_str());
    else
        printf("%s: locked by %s\n", doc.file.c_str(), who.c_str());
    return YM_CLI_OK;
}
