// Choosing a document and sending a document action; see YmCliDocAction.h.
#include "YmCliDocAction.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "YmCliCommands.h"
#include "YmMsgTypes.h"
#include "YmSrchMsg.h"
#include "YmText.h"

namespace {

std::string payloadOf(const YmStr& buf) {
    return std::string(reinterpret_cast<const char*>(buf.data), buf.slength);
}

}  // namespace

int ymCliDocOption(int c, const char* arg, YmCliDocTarget* t) {
    unsigned long v;
    switch (c) {
        case 'd':
            ymCliSplitList(arg, &t->dbs);
            return 1;
        case 'n':
            if (!ymCliNumber(arg, INT_MAX, &v) || v == 0) {
                fprintf(stderr, "drusk: -n wants a hit number (1, 2, ...), not %s\n", arg);
                return -1;
            }
            t->hit = v;
            return 1;
        case 'f':
            t->file = arg;
            return 1;
        case 't':
            if (!ymCliNumber(arg, INT_MAX, &v)) {
                fprintf(stderr, "drusk: -t wants a document type number, not %s\n", arg);
                return -1;
            }
            t->type = int(v);
            return 1;
        default:
            return 0;
    }
}

void ymCliDocUsage(FILE* out) {
    fprintf(out,
            "The document: hit -n of a search (as the search command numbers it) for\n"
            "the query words, or a file on the server:\n"
            "  -d db         a database to search (repeat, or separate with commas);\n"
            "                default: the databases of the login's directory trees\n"
            "  -n hit        the hit's number (default 1)\n"
            "  -f file       the document's file on the server, instead of a search\n"
            "  -t type       its type with -f (default 1, plain text; 3 troff, 4 manual\n"
            "                page, 5 mm, 8 packed, 9 compressed)\n");
}

int ymCliDocChoose(YmCliSession& session, YmCliDocTarget& t, YmDocActionMsg* msg) {
    if (!t.file.empty()) {
        msg->setFname(t.file.c_str());
        msg->setType(t.type);
        return YM_CLI_OK;
    }
    if (t.words.empty()) {
        fprintf(stderr, "drusk: name the document: query words (and -n), or -f file\n");
        return YM_CLI_USAGE;
    }
    if (t.dbs.empty()) t.dbs = session.treeDatabases();
    if (t.dbs.empty()) {
        fprintf(stderr, "drusk: name a database with -d (the login named none)\n");
        return YM_CLI_USAGE;
    }
    std::string dbList;
    for (const std::string& d : t.dbs) dbList += d + "\n";
    if (t.words.find_first_of("\n\f") != std::string::npos ||
        dbList.find('\f') != std::string::npos) {
        fprintf(stderr, "drusk: a query or database name cannot hold line or page breaks\n");
        return YM_CLI_USAGE;
    }
    YmSrchReqMsg req;
    req.setSrchDBs(dbList.c_str());
    req.setQuery(("0\n" + t.words + "\n").c_str());
    req.setMaxHits(unsigned(t.hit < 100 ? 100 : t.hit));
    req.setNear(10);
    req.prepareForSend();
    YmCliAnswer ans;
    std::string why;
    if (!session.request(YmMsgType::SrchReq, 0, payloadOf(req._buf), &ans, &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    if (ans.type != YmMsgType::SrchResult) {
        fprintf(stderr, "drusk: the server answered the search with message type %d\n", ans.type);
        return YM_CLI_NOCONN;
    }
    YmSrchResultMsg res;
    res.readIn(ans.payload.data(), unsigned(ans.payload.size()), 0);
    if (res._errCode != 0) {
        fprintf(stderr, "drusk: the search failed (see drusk search for why)\n");
        return YM_CLI_FAILED;
    }
    if (t.hit > res._hits) {
        fprintf(stderr, "drusk: the search found %u hit%s, no hit %lu\n", res._hits,
                res._hits == 1 ? "" : "s", t.hit);
        return YM_CLI_FAILED;
    }
    msg->setHdr(res.get(int(t.hit - 1)));
    return YM_CLI_OK;
}

int ymCliDocSend(YmCliSession& session, YmDocActionMsg& msg, int action, const std::string& arg,
                 int* type, int* flag, YmDocResultMsg* res) {
    msg.setAction(action);
    msg.setActionStr(arg.c_str());
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    msg.setClient(host);
    msg.prepareForSend();
    std::string why;
    if (!session.sendOnly(YmMsgType::DocAction, action, payloadOf(msg._buf), &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    bool answered = action == YM_DOC_VIEW || action == YM_DOC_FAX;
    if (!answered && !session.sendOnly(YmMsgType::HelpReq, 0, "", &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    YmCliAnswer ans;
    bool got = action == YM_DOC_VIEW ? session.receiveCancellable(YmMsgType::DisplayCancel, &ans, &why)
                                     : session.receive(&ans, &why);
    if (!got) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    *type = ans.type;
    *flag = ans.flag;
    if (ans.type == YmMsgType::HelpText) {
        *type = 0;
        return YM_CLI_OK;
    }
    if (ans.type != YmMsgType::DocResult && ans.type != YmMsgType::DocError) {
        fprintf(stderr, "drusk: the server answered with message type %d\n", ans.type);
        return YM_CLI_NOCONN;
    }
    // A length field larger than the bytes that came: the text would be
    // shown cut, as if it were the whole document.
    if (!res->readIn(ans.payload.data(), unsigned(ans.payload.size()))) {
        fprintf(stderr, "drusk: the server's answer was cut short\n");
        return YM_CLI_FAILED;
    }
    // The help answer still on its way is read and dropped.
    if (!answered) {
        YmCliAnswer rest;
        if (!session.receive(&rest, &why)) {
            fprintf(stderr, "drusk: %s\n", why.c_str());
            return YM_CLI_NOCONN;
        }
    }
    return YM_CLI_OK;
}

int ymCliDocAct(YmCliSession& session, YmCliDocTarget& t, int argc, char** argv, int action,
                const std::string& arg, int* type, int* flag, YmDocResultMsg* res) {
    for (int i = optind; i < argc; i++)
        t.words += std::string(t.words.empty() ? "" : " ") + argv[i];
    YmDocActionMsg msg;
    int st = ymCliDocChoose(session, t, &msg);
    if (st != YM_CLI_OK) return st;
    return ymCliDocSend(session, msg, action, arg, type, flag, res);
}

int ymCliDocFailed(const char* what, const YmDocResultMsg& res) {
    std::string file = ymStd(res._bHdr ? res._hdr->_fname : res._fname);
    std::string info = ymStd(res._attrib);
    fprintf(
        stderr,
        "drusk: %s: the server could not %s %s (type %d): missing, not a document of the knowledge "
        "base, of a type it cannot show, or the command failed\n",
        what, what, file.c_str(), res._bHdr ? res._hdr->_type : res._type);
    if (!info.empty()) fprintf(stderr, "%s", info.c_str());
    return YM_CLI_FAILED;
}
