// drusk save: saves a new text over a document on the server, and can set
// its security value with it.
//
//   drusk save [document options] [-c code] -i file [query words...]
//
// The document is locked for the save and unlocked after it, so a save is
// refused while another user holds the lock. A file that does not exist yet
// is created. The server takes only documents of the sources the login
// allows this user to edit.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "YmCliCommands.h"
#include "YmCliEdit.h"
#include "YmMsgTypes.h"

namespace {

// The whole of path ("-": standard input); false, after saying why, when
// it cannot be read or is no text (a NUL byte would end it early).
bool readText(const std::string& path, std::string* text) {
    FILE* f = path == "-" ? stdin : fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "drusk: save: cannot read %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    char buf[8192];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
    bool bad = ferror(f);
    if (f != stdin) fclose(f);
    if (bad) {
        fprintf(stderr, "drusk: save: cannot read %s\n", path.c_str());
        return false;
    }
    if (text->find('\0') != std::string::npos) {
        fprintf(stderr, "drusk: save: %s holds NUL bytes; only text can be saved\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

void ymCliSaveUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] save [options] -i file [query words...]\n"
            "Saves the text of a local file over a document on the server.\n"
            "  -i file       the new text (- for standard input)\n"
            "  -c code       also set the document's security value\n");
    ymCliDocUsage(out);
}

int ymCliSaveDoc(YmCliSession& session, int argc, char** argv) {
    YmCliDocTarget t;
    std::string input;
    int code = -1;
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS "i:c:")) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (taken) continue;
        if (c == 'i') {
            input = optarg;
        } else if (c == 'c') {
            if (!ymCliCodeOption(optarg, &code)) return YM_CLI_USAGE;
        } else {
            ymCliSaveUsage(stderr);
            return YM_CLI_USAGE;
        }
    }
    if (input.empty()) {
        fprintf(stderr, "drusk: save: -i names the file with the new text\n");
        return YM_CLI_USAGE;
    }
    std::string text;
    if (!readText(input, &text)) return YM_CLI_FAILED;

    YmCliEditDoc doc;
    int st = ymCliEditChoose(session, t, argc, argv, &doc);
    int fd = -1;
    if (st == YM_CLI_OK) st = ymCliLock(session, doc.file, &fd);
    if (st != YM_CLI_OK) return st;
    if (fd < 0) {
        // Not lockable: held by another user, or a file the server is to
        // create (or will refuse, with its reason).
        std::string who;
        st = ymCliWho(session, doc.file, &who);
        if (st != YM_CLI_OK) return st;
        if (!who.empty()) {
            fprintf(stderr, "drusk: save: %s is locked by %s\n", doc.file.c_str(), who.c_str());
            return YM_CLI_FAILED;
        }
    }

    std::string why;
    std::vector<int> errs;
    if (!session.sendOnly(YmMsgType::DocSave, 0, ymCliEditPayload(session, doc, code, text),
                          &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    st = ymCliEditErrors(session, YmMsgType::DocSaveDone, &errs);
    if (st == YM_CLI_OK && fd >= 0) st = ymCliUnlock(session, fd);
    if (st != YM_CLI_OK) return st;
    if (ymCliEditReport("save", doc.file, errs) != YM_CLI_OK) return YM_CLI_FAILED;
    if (code != -1)
        printf("saved %s; its security value becomes %d\n", doc.file.c_str(), code);
    else
        printf("saved %s\n", doc.file.c_str());
    return YM_CLI_OK;
}
