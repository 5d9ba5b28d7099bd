// drusk print: has the server print a document.
//
//   drusk print [document options] [-H host] [-P printer] [query words...]
//
// The server prints the document's displayed text on the spooler of its own
// machine, or on HOST through the remote shell; a printer can only be named
// together with a host (localhost when -P comes alone). When that fails it
// prints the stored file on its default printer. Success has no answer.
#include <unistd.h>

#include <string>

#include "YmCliCommands.h"
#include "YmCliDocAction.h"

void ymCliPrintUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] print [options] [query words...]\n"
            "Prints a document on the server's printers.\n"
            "  -H host       print through the remote shell on this host\n"
            "  -P printer    the printer (3 characters or more; with -H, else on\n"
            "                localhost)\n");
    ymCliDocUsage(out);
}

int ymCliPrint(YmCliSession& session, int argc, char** argv) {
    YmCliDocTarget t;
    std::string host, printer;
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS "H:P:")) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (taken) continue;
        if (c == 'H')
            host = optarg;
        else if (c == 'P')
            printer = optarg;
        else {
            ymCliPrintUsage(stderr);
            return YM_CLI_USAGE;
        }
    }
    if (host.find('\n') != std::string::npos || printer.find('\n') != std::string::npos) {
        fprintf(stderr, "drusk: print: host and printer are single words\n");
        return YM_CLI_USAGE;
    }
    if (!printer.empty() && host.empty()) host = "localhost";

    int type = 0, flag = 0;
    YmDocResultMsg res;
    int st = ymCliDocAct(session, t, argc, argv, YM_DOC_PRINT, host + "\n" + printer, &type, &flag,
                         &res);
    if (st != YM_CLI_OK) return st;
    if (type != 0) return ymCliDocFailed("print", res);
    printf("printed\n");
    return YM_CLI_OK;
}
