// drusk mail: has the server mail a document's displayed text.
//
//   drusk mail [document options] -r recipient [-F sender] [-c comment]
//              [query words...]
//
// Addresses without "@" get the server's mail domain. Without a sender the
// mail comes from the logged-in user.
#include <unistd.h>

#include <string>

#include "YmCliCommands.h"
#include "YmCliDocAction.h"

void ymCliMailUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] mail [options] -r recipient [query words...]\n"
            "Mails a document's text.\n"
            "  -r address    the recipient\n"
            "  -F address    the sender (default: the logged-in user)\n"
            "  -c text       a comment, sent as the mail's Comments line\n");
    ymCliDocUsage(out);
}

int ymCliMail(YmCliSession& session, int argc, char** argv) {
    YmCliDocTarget t;
    std::string rcpt, sender, comment;
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS "r:F:c:")) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (taken) continue;
        if (c == 'r')
            rcpt = optarg;
        else if (c == 'F')
            sender = optarg;
        else if (c == 'c')
            comment = optarg;
        else {
            ymCliMailUsage(stderr);
            return YM_CLI_USAGE;
        }
    }
    if (rcpt.empty()) {
        fprintf(stderr, "drusk: mail: -r names the recipient\n");
        return YM_CLI_USAGE;
    }
    if ((rcpt + sender + comment).find('\n') != std::string::npos) {
        fprintf(stderr, "drusk: mail: addresses and comment are single lines\n");
        return YM_CLI_USAGE;
    }
    // The server reads three lines; an empty sender line would vanish and
    // make the comment the sender, so the sender line is never empty.
    if (sender.empty()) sender = session._user;

    int type = 0, flag = 0;
    YmDocResultMsg res;
    int st = ymCliDocAct(session, t, argc, argv, YM_DOC_MAIL, rcpt + "\n" + sender + "\n" + comment,
                         &type, &flag, &res);
    if (st != YM_CLI_OK) return st;
    if (type != 0) return ymCliDocFailed("mail", res);
    printf("mailed to %s\n", rcpt.c_str());
    return YM_CLI_OK;
}
