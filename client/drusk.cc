// drusk: the command-line client of the knowledge-base server. It logs in
// with a user, a group and a group id, then runs one command.
//
//   drusk [-s host] [-p port] [-u user] [-g group] [-G groupid] command [args]
//   drusk help [command]
//
// Commands live in the table below, one file each (YmCliCommands.h).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "YmCliCommands.h"
#include "YmCliSession.h"

namespace {

const YmCliCommand kCommands[] = {
    {"search", ymCliSearch, ymCliSearchUsage, "search databases and list the hits"},
    {"view", ymCliView, ymCliViewUsage, "show a hit (or a file) with the searched words marked"},
    {"print", ymCliPrint, ymCliPrintUsage, "print a hit on the server's printers"},
    {"copy", ymCliCopy, ymCliCopyUsage, "copy a hit's file to a path on the server"},
    {"mail", ymCliMail, ymCliMailUsage, "mail a hit's text"},
    {"fax", ymCliFax, ymCliFaxUsage, "fax a hit through the server's fax service"},
    {"lock", ymCliLockDoc, ymCliLockUsage, "lock a document until the input ends"},
    {"who", ymCliWhoDoc, ymCliWhoUsage, "say who holds a document's lock"},
    {"save", ymCliSaveDoc, ymCliSaveUsage, "save a local file's text over a document"},
    {"mark", ymCliMarkDoc, ymCliMarkUsage, "set a document's security value"},
};

void usage(FILE* out) {
    fprintf(out,
            "usage: drusk [-s host] [-p port] [-u user] [-g group] [-G groupid] command [args]\n"
            "  -s host     the server (default localhost)\n"
            "  -p port     its port (default 6004)\n"
            "  -u user, -g group, -G groupid\n"
            "              who logs in (default: the caller)\n"
            "commands:\n");
    for (const YmCliCommand& c : kCommands) fprintf(out, "  %-10s  %s\n", c.name, c.summary);
    fprintf(out, "  %-10s  %s\n", "help", "this text, or a command's usage");
}

const YmCliCommand* find(const char* name) {
    for (const YmCliCommand& c : kCommands)
        if (strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    YmCliSession session;
    int c;
    while ((c = getopt(argc, argv, "+s:p:u:g:G:h")) != -1) {
        switch (c) {
            case 's':
                session._host = optarg;
                break;
            case 'p': {
                char* end = nullptr;
                errno = 0;
                long port = strtol(optarg, &end, 10);
                if (!*optarg || *end || errno || port <= 0 || port > 65535) {
                    fprintf(stderr, "drusk: -p wants a port number (1-65535), not %s\n", optarg);
                    return YM_CLI_USAGE;
                }
                session._port = int(port);
                break;
            }
            case 'u':
                session._user = optarg;
                break;
            case 'g':
                session._group = optarg;
                break;
            case 'G':
                session._groupId = optarg;
                break;
            case 'h':
                usage(stdout);
                return YM_CLI_OK;
            default:
                usage(stderr);
                return YM_CLI_USAGE;
        }
    }
    if (optind >= argc) {
        usage(stderr);
        return YM_CLI_USAGE;
    }
    const char* name = argv[optind];
    if (strcmp(name, "help") == 0) {
        const YmCliCommand* cmd = optind + 1 < argc ? find(argv[optind + 1]) : nullptr;
        if (cmd)
            cmd->usage(stdout);
        else
            usage(stdout);
        return YM_CLI_OK;
    }
    const YmCliCommand* cmd = find(name);
    if (!cmd) {
        fprintf(stderr, "drusk: unknown command %s\n", name);
        usage(stderr);
        return YM_CLI_USAGE;
    }

    std::string why;
    if (!session.open(&why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    if (session.loginError() != 0)
        fprintf(stderr, "drusk: login: %s (code %d)\n",
                YmCliSession::loginErrorText(session.loginError()).c_str(), session.loginError());
    int status = cmd->run(session, argc - optind, argv + optind);
    session.close();
    return status;
}
