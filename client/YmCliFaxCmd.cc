// drusk fax: has the server fax a document through its fax service.
//
//   drusk fax [document options] -N number [-T name] [-C company]
//             [-L location] [-V voice] [-c comments] [-S faxhost]
//             [-F from] [query words...]
//
// The fax service's answer (its request id, or why it refused) is printed.
#include <unistd.h>

#include <cstring>
#include <string>

#include "YmCliCommands.h"
#include "YmCliDocAction.h"
#include "YmMsgTypes.h"
#include "YmText.h"

void ymCliFaxUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] fax [options] -N number [query words...]\n"
            "Faxes a document with a cover sheet.\n"
            "  -N number     the recipient's fax number\n"
            "  -T name       the recipient's name\n"
            "  -C company, -L location, -V voice number   more about the recipient\n"
            "  -c text       comments for the cover sheet\n"
            "  -S host       the host of the fax service (default: the server's)\n"
            "  -F name       the sender as the cover sheet shows it\n");
    ymCliDocUsage(out);
}

int ymCliFax(YmCliSession& session, int argc, char** argv) {
    YmCliDocTarget t;
    // name, number, company, location, voice, comments, fax host, from,
    // user, client host: the form's ten lines.
    std::string f[10];
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS "N:T:C:L:V:c:S:F:")) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (taken) continue;
        const char* letters = "TNCLVcSF";
        const char* at = strchr(letters, c);
        if (!at || c == ':') {
            ymCliFaxUsage(stderr);
            return YM_CLI_USAGE;
        }
        f[at - letters] = optarg;
    }
    if (f[1].size() < 3) {
        fprintf(stderr, "drusk: fax: -N names the fax number (3 characters or more)\n");
        return YM_CLI_USAGE;
    }
    f[8] = session._user;
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    f[9] = host;
    if (f[7].empty()) f[7] = session._user;
    std::string form;
    for (std::string& v : f) {
        if (v.find('\n') != std::string::npos) {
            fprintf(stderr, "drusk: fax: every field is a single line\n");
            return YM_CLI_USAGE;
        }
        // The server reads the form's lines in order and an empty line
        // would vanish: a field not given travels as one blank.
        form += (v.empty() ? " " : v) + "\n";
    }

    int type = 0, flag = 0;
    YmDocResultMsg res;
    int st = ymCliDocAct(session, t, argc, argv, YM_DOC_FAX, form, &type, &flag, &res);
    if (st != YM_CLI_OK) return st;
    if (type != YmMsgType::DocError || res._errCode != 2) return ymCliDocFailed("fax", res);
    // The service's lines come each followed by an empty line.
    std::string info = ymStd(res._attrib);
    std::string out;
    for (size_t p = 0; p < info.size();) {
        size_t lf = info.find('\n', p);
        if (lf == std::string::npos) lf = info.size();
        if (lf > p) out += info.substr(p, lf - p) + "\n";
        p = lf + 1;
    }
    printf("faxed: %s", out.empty() ? "the fax service said nothing\n" : out.c_str());
    return YM_CLI_OK;
}
