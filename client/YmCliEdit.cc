// The edit commands' shared part; see YmCliEdit.h.
#include "YmCliEdit.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "YmCliCommands.h"
#include "YmMsgTypes.h"

namespace {

std::string str(const YmStr& s) {
    return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

// The answer of type want to a request whose path goes with its NUL.
int ask(YmCliSession& session, int type, const std::string& file, int want, YmCliAnswer* ans) {
    std::string why;
    if (!session.request(type, 0, file + '\0', ans, &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    if (ans->type != want) {
        fprintf(stderr, "drusk: the server answered with message type %d\n", ans->type);
        return YM_CLI_NOCONN;
    }
    return YM_CLI_OK;
}

}  // namespace

int ymCliEditChoose(YmCliSession& session, YmCliDocTarget& t, int argc, char** argv,
                    YmCliEditDoc* doc) {
    for (int i = optind; i < argc; i++)
        t.words += std::string(t.words.empty() ? "" : " ") + argv[i];
    YmDocActionMsg msg;
    int st = ymCliDocChoose(session, t, &msg);
    if (st != YM_CLI_OK) return st;
    doc->file = str(msg._bHdr ? msg._hdr->_fname : msg._fname);
    if (msg._bHdr) doc->src = str(msg._hdr->_src);
    if (doc->file.empty()) {
        fprintf(stderr, "drusk: the hit names no file\n");
        return YM_CLI_FAILED;
    }
    return YM_CLI_OK;
}

int ymCliEditDocOnly(YmCliSession& session, int argc, char** argv, void (*usage)(FILE*),
                     YmCliEditDoc* doc) {
    YmCliDocTarget t;
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS)) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (!taken) {
            usage(stderr);
            return YM_CLI_USAGE;
        }
    }
    return ymCliEditChoose(session, t, argc, argv, doc);
}

int ymCliLock(YmCliSession& session, const std::string& file, int* fd) {
    YmCliAnswer ans;
    int st = ask(session, YmMsgType::DocLock, file, YmMsgType::DocLockAnswer, &ans);
    if (st != YM_CLI_OK) return st;
    if (ans.payload.size() != 4) {
        fprintf(stderr, "drusk: the server's lock answer has %zu bytes, not 4\n",
                ans.payload.size());
        return YM_CLI_NOCONN;
    }
    // 32 bits, most significant byte first.
    const unsigned char* b = reinterpret_cast<const unsigned char*>(ans.payload.data());
    *fd = int(unsigned(b[0]) << 24 | unsigned(b[1]) << 16 | unsigned(b[2]) << 8 | unsigned(b[3]));
    return YM_CLI_OK;
}

int ymCliWho(YmCliSession& session, const std::string& file, std::string* who) {
    YmCliAnswer ans;
    int st = ask(session, YmMsgType::DocLockWho, file, YmMsgType::DocLockOwner, &ans);
    if (st != YM_CLI_OK) return st;
    *who = ans.payload;
    while (!who->empty() && (who->back() == '\n' || who->back() == '\0')) who->pop_back();
    return YM_CLI_OK;
}

int ymCliUnlock(YmCliSession& session, int fd) {
    std::string why;
    if (!session.sendOnly(YmMsgType::DocUnlock, fd, "", &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    return YM_CLI_OK;
}

int ymCliEditErrors(YmCliSession& session, int end, std::vector<int>* codes) {
    for (;;) {
        YmCliAnswer ans;
        std::string why;
        if (!session.receive(&ans, &why)) {
            fprintf(stderr, "drusk: %s\n", why.c_str());
            return YM_CLI_NOCONN;
        }
        if (ans.type == end) return YM_CLI_OK;
        if (ans.type != YmMsgType::EditError) {
            fprintf(stderr, "drusk: the server answered with message type %d\n", ans.type);
            return YM_CLI_NOCONN;
        }
        codes->push_back(YmDocEditErrMsg::readIn(ans.payload.data(), unsigned(ans.payload.size())));
    }
}

std::string ymCliEditPayload(YmCliSession& session, const YmCliEditDoc& doc, int code,
                             const std::string& text) {
    YmDocEditMsg msg;
    msg.setDocBuff(text.data(), unsigned(text.size()));
    msg.setFname(doc.file.c_str());
    msg.setSrc(doc.src.c_str());
    msg.setEditSrc(session.editSources().c_str());
    msg.setCode(code);
    msg.prepareForSend();
    // Sent without a NUL.
    return str(msg._docBuffer);
}

namespace {

const char* errorText(int code) {
    switch (code) {
        case 2012:
            return "the document belongs to no source you may edit";
        case 2013:
            return "the server could not run its field-update tool";
        case 2014:
            return "the server cannot open the document's file to save it (or another user "
                   "holds its lock)";
        case 2015:
            return "the server could not write the text (an empty text is not saved); the file "
                   "is as it was";
        default:
            return "edit error";
    }
}

}  // namespace

int ymCliEditReport(const char* what, const std::string& file, const std::vector<int>& codes) {
    for (int e : codes)
        fprintf(stderr, "drusk: %s: %s: %s (code %d)\n", what, file.c_str(), errorText(e), e);
    return codes.empty() ? YM_CLI_OK : YM_CLI_FAILED;
}

int ymCliLockRefused(YmCliSession& session, const char* what, const std::string& file) {
    std::string who;
    int st = ymCliWho(session, file, &who);
    if (st != YM_CLI_OK) return st;
    if (!who.empty())
        fprintf(stderr, "drusk: %s: %s is locked by %s\n", what, file.c_str(), who.c_str());
    else
        fprintf(stderr,
                "drusk: %s: cannot lock %s: missing, not a document of the knowledge base, or "
                "not writable by the server\n",
                what, file.c_str());
    return YM_CLI_FAILED;
}

bool ymCliCodeOption(const char* arg, int* code) {
    char* end = nullptr;
    errno = 0;
    long v = strtol(arg, &end, 10);
    if (!*arg || *end || errno || v < INT_MIN || v > INT_MAX) {
        fprintf(stderr, "drusk: -c wants a security value (a whole number), not %s\n", arg);
        return false;
    }
    *code = int(v);
    return true;
}

void ymCliEditSrcUsage(FILE* out) {
    fprintf(out, "  -s source     the document's source (database) with -f; a hit names its own\n");
}
