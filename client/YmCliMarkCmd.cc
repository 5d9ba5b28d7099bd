// drusk mark: sets a document's security value.
//
//   drusk mark [document options] [-s source] -c code [query words...]
//
// The server answers only errors, so a help request follows the mark: its
// answer coming first means the server took the mark. The value is set by
// a tool the server starts in the background.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "YmCliCommands.h"
#include "YmCliEdit.h"
#include "YmMsgTypes.h"

void ymCliMarkUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] mark [options] -c code [query words...]\n"
            "Sets a document's security value.\n"
            "  -c code       the security value\n");
    ymCliEditSrcUsage(out);
    ymCliDocUsage(out);
}

int ymCliMarkDoc(YmCliSession& session, int argc, char** argv) {
    YmCliDocTarget t;
    std::string src;
    int code = 0;
    bool haveCode = false;
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS "s:c:")) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (taken) continue;
        if (c == 's') {
            src = optarg;
        } else if (c == 'c') {
            if (!ymCliCodeOption(optarg, &code)) return YM_CLI_USAGE;
            haveCode = true;
        } else {
            ymCliMarkUsage(stderr);
            return YM_CLI_USAGE;
        }
    }
    if (!haveCode) {
        fprintf(stderr, "drusk: mark: -c names the security value\n");
        return YM_CLI_USAGE;
    }
    YmCliEditDoc doc;
    int st = ymCliEditChoose(session, t, argc, argv, &doc);
    if (st != YM_CLI_OK) return st;
    if (!src.empty()) doc.src = src;
    if (doc.src.empty()) {
        fprintf(stderr, "drusk: mark: -s names the document's source\n");
        return YM_CLI_USAGE;
    }

    std::string why;
    if (!session.sendOnly(YmMsgType::DocMark, 0, ymCliEditPayload(session, doc, code, ""), &why) ||
        !session.sendOnly(YmMsgType::HelpReq, 0, "", &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    std::vector<int> errs;
    st = ymCliEditErrors(session, YmMsgType::HelpText, &errs);
    if (st != YM_CLI_OK) return st;
    if (ymCliEditReport("mark", doc.file, errs) != YM_CLI_OK) return YM_CLI_FAILED;
    printf("the security value of %s becomes %d\n", doc.file.c_str(), code);
    return YM_CLI_OK;
}
