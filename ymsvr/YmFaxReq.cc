// The fax request; see YmFaxReq.h.
#include "YmFaxReq.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "YmPlatform.h"
#include "YmTmpFile.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1); }

std::string q(const YmStr& s) { return ymShellQuote(str(s)); }

std::string q(const char* s) { return ymShellQuote(s ? s : ""); }

YmStr toStr(const std::string& s) { return YmStr(s.data(), unsigned(s.size())); }

bool isBlank(const YmStr& s) { return s.slength < 2 || s == " "; }

const char* cstr(const YmStr& s) { return reinterpret_cast<const char*>(s.data); }

// Removes the temporary files however fax() ends.
struct TmpFiles {
    YmStr fname, cover;
    ~TmpFiles() {
        if (fname.slength > 1) unlink(cstr(fname));
        if (cover.slength > 1) unlink(cstr(cover));
    }
};

}  // namespace

YmFaxReq::Form::Form()
    : name(" "), dest(" "), comp(" "), loc(" "), phone(" "), pages(" "), comments(" "), faxserver(" "),
      faxuser(" "), client(" "), usr(" ") {}

YmFaxReq::YmFaxReq() : _status(0) {}

YmFaxReq::~YmFaxReq() {}

void YmFaxReq::readForm(const char* inbuf, Form& f) {
    YmStr* fields[] = {&f.name,      &f.dest,    &f.comp, &f.loc,   &f.phone,
                       &f.comments, &f.faxserver, &f.faxuser, &f.usr, &f.client};
    YmStr in(inbuf);
    unsigned int posn = 0;
    YmStr t = in.token(posn, '\n');
    for (YmStr* field : fields) {
        if (t.slength < 2) break;
        *field = t;
        t = in.token(posn, '\n');
    }
}

YmStr YmFaxReq::clientDomain(const YmStr& client) {
    unsigned int dot = client.next(0, '.');
    if (dot == 0 || dot + 1 >= client.slength) return client;
    return client.tail(client.slength - 2 - dot);
}

YmStr YmFaxReq::coverCmd(const Form& f, const char* cover) {
    std::string comploc = str(f.comp) + " " + str(f.loc);
    return toStr("faxcover -f " + q(f.faxuser) + " -n " + q(f.dest) + " -t " + q(f.name) + " -l " +
                 ymShellQuote(comploc) + " -v " + q(f.phone) + " -c " + q(f.comments) + " -p " + q(f.pages) +
                 " > " + q(cover));
}

YmStr YmFaxReq::convertCmd(const char* convertStr, const char* fname) {
    // The template is the model's own text; it is expanded here rather than
    // given to printf, so a stray '%' in it cannot read a missing argument.
    std::string out;
    bool placed = false;
    for (const char* p = convertStr ? convertStr : ""; *p; p++) {
        if (p[0] == '%' && p[1] == '%') {
            out += '%';
            p++;
        } else if (p[0] == '%' && p[1] == 's' && !placed) {
            out += q(fname);
            placed = true;
            p++;
        } else {
            out += *p;
        }
    }
    return toStr(out);
}

YmStr YmFaxReq::sendCmd(const Form& f, const char* cover, const char* fname) {
    std::string from = ymShellQuote(str(f.usr) + "@" + str(clientDomain(f.client)));
    std::string host = isBlank(f.faxserver) ? "" : "-h " + q(f.faxserver) + " ";
    return toStr("sendfax " + host + "-d " + q(f.dest) + " -f " + from + " -n -D " + q(cover) + " " + q(fname));
}

YmBool YmFaxReq::fax(const char* inbuf, const char* convertStr, YmBool /*bText*/) {
    _errStr.resize(0, 0);
    _status = 0;
    Form f;
    readForm(inbuf, f);
    if (f.dest.slength - 1 < 3) return 0;

    TmpFiles tmp;
    tmp.fname = ymTmpFile("fax");
    tmp.cover = ymTmpFile("fax");
    if (tmp.fname.slength < 2 || tmp.cover.slength < 2) {
        _errStr = "Fax request failed: no temporary file could be made.\n";
        return 0;
    }
    YmStr cover = coverCmd(f, cstr(tmp.cover));
    YmStr convert = convertCmd(convertStr, cstr(tmp.fname));
    YmStr send = sendCmd(f, cstr(tmp.cover), cstr(tmp.fname));
    if (cover.slength > YM_FAX_CMD_MAX || convert.slength > YM_FAX_CMD_MAX || send.slength > YM_FAX_CMD_MAX) {
        _errStr = "Fax request refused: the form is too long.\n";
        return 0;
    }

    // A missing cover sheet does not stop the fax.
    execCmd(cstr(cover), 0);
    // A fax file that was not made must not be sent as if it were.
    if (!execCmd(cstr(convert), 1) || _status != 0) return 0;
    YmBool ok = execCmd(cstr(send), 1) && _status == 0;

    std::string rm = "rm " + q(tmp.fname) + " ; rm " + q(tmp.cover) + " ";
    execCmd(rm.c_str(), 0);
    // A name that rm freed may already be another process's file: only what
    // rm left behind is removed on the way out.
    if (access(cstr(tmp.fname), F_OK) != 0) tmp.fname.resize(0, 0);
    if (access(cstr(tmp.cover), F_OK) != 0) tmp.cover.resize(0, 0);
    return ok;
}

YmBool YmFaxReq::execCmd(const char* cmd, YmBool bTrapOutput) {
    if (!bTrapOutput) {
        _status = system(cmd);
        return _status == 0;
    }
    FILE* fp = popen(cmd, "r");
    if (!fp) {
        _status = -1;
        return 0;
    }
    char piece[255];
    for (;;) {
        if (!fgets(piece, sizeof piece, fp)) {
            // A signal (the display cancel) may cut a read short; stopping
            // there would leave the command blocked on a full pipe.
            if (ferror(fp) && errno == EINTR) {
                clearerr(fp);
                continue;
            }
            break;
        }
        size_t n = strlen(piece);
        if (n == 0 || _errStr.slength - 1 + n + 1 > YM_FAX_OUTPUT_MAX) continue;
        _errStr.append(piece, unsigned(n));
        _errStr.append('\n');
    }
    _status = pclose(fp);
    return 1;
}
