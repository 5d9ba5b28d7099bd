// drusk copy: has the server copy a document's file to a path on the
// server's machine.
//
//   drusk copy [document options] -o target [query words...]
#include <unistd.h>

#include <string>

#include "YmCliCommands.h"
#include "YmCliDocAction.h"

void ymCliCopyUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] copy [options] -o target [query words...]\n"
            "Copies a document's file to a path on the server's machine.\n"
            "  -o target     the path to copy to\n");
    ymCliDocUsage(out);
}

int ymCliCopy(YmCliSession& session, int argc, char** argv) {
    YmCliDocTarget t;
    std::string target;
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS "o:")) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (taken) continue;
        if (c == 'o') {
            target = optarg;
        } else {
            ymCliCopyUsage(stderr);
            return YM_CLI_USAGE;
        }
    }
    if (target.size() < 2) {
        fprintf(stderr, "drusk: copy: -o names the target path (2 characters or more)\n");
        return YM_CLI_USAGE;
    }

    int type = 0, flag = 0;
    YmDocResultMsg res;
    int st = ymCliDocAct(session, t, argc, argv, YM_DOC_COPY, target, &type, &flag, &res);
    if (st != YM_CLI_OK) return st;
    if (type != 0) return ymCliDocFailed("copy", res);
    printf("copied to %s\n", target.c_str());
    return YM_CLI_OK;
}
