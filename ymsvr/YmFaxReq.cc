// The fax request; see YmFaxReq.h.
#include "YmFaxReq.h"

#include <cstring>
#include <string>

#include "YmPlatform.h"
#include "YmShell.h"
#include "YmText.h"
#include "YmTmpFile.h"

namespace {

std::string q(const YmStr& s) { return ymShellQuote(ymStd(s)); }

std::string q(const char* s) { return ymShellQuote(s ? s : ""); }

bool isBlank(const YmStr& s) { return s.slength < 2 || s == " "; }

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
    std::string comploc = ymStd(f.comp) + " " + ymStd(f.loc);
    return ymStr("faxcover -f " + q(f.faxuser) + " -n " + q(f.dest) + " -t " + q(f.name) + " -l " +
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
    return ymStr(out);
}

YmStr YmFaxReq::sendCmd(const Form& f, const char* cover, const char* fname) {
    std::string from = ymShellQuote(ymStd(f.usr) + "@" + ymStd(clientDomain(f.client)));
    std::string host = isBlank(f.faxserver) ? "" : "-h " + q(f.faxserver) + " ";
    return ymStr("sendfax " + host + "-d " + q(f.dest) + " -f " + from + " -n -D " + q(cover) + " " + q(fname));
}

YmBool YmFaxReq::fax(const char* inbuf, const char* convertStr, YmBool /*bText*/) {
    _errStr.resize(0, 0);
    _status = 0;
    Form f;
    readForm(inbuf, f);
    if (f.dest.slength - 1 < 3) return 0;

    YmTmpFile fname("fax"), cover("fax");
    if (!fname.ok() || !cover.ok()) {
        _errStr = "Fax request failed: no temporary file could be made.\n";
        return 0;
    }
    YmStr coverLine = coverCmd(f, cover.name());
    YmStr convert = convertCmd(convertStr, fname.name());
    YmStr send = sendCmd(f, cover.name(), fname.name());
    if (coverLine.slength > YM_FAX_CMD_MAX || convert.slength > YM_FAX_CMD_MAX ||
        send.slength > YM_FAX_CMD_MAX) {
        _errStr = "Fax request refused: the form is too long.\n";
        return 0;
    }

    // A missing cover sheet does not stop the fax.
    execCmd(ymText(coverLine), 0);
    // A fax file that was not made whole must not be sent as if it were.
    if (!execCmd(ymText(convert), 1) || _status != 0) return 0;
    YmBool ok = execCmd(ymText(send), 1) && _status == 0;

    std::string rm = "rm " + fname.quoted() + " ; rm " + cover.quoted() + " ";
    execCmd(rm.c_str(), 0);
    fname.forgetIfGone();
    cover.forgetIfGone();
    return ok;
}

YmBool YmFaxReq::execCmd(const char* cmd, YmBool bTrapOutput) {
    if (!bTrapOutput) {
        _status = ymRunShell(cmd);
        return _status == 0;
    }
    // Pieces of at most 254 characters; what goes beyond the cap is read and
    // dropped.
    _status = ymRunShellRead(cmd, 255, [this](const char* piece) {
        size_t n = strlen(piece);
        if (n == 0 || _errStr.slength - 1 + n + 1 > YM_FAX_OUTPUT_MAX) return;
        _errStr.append(piece, unsigned(n));
        _errStr.append('\n');
    });
    return _status != -1;
}
