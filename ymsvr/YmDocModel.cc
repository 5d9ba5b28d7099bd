// The document models; see YmDocModel.h.
#include "YmDocModel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "YmDocAccess.h"
#include "YmFaxReq.h"
#include "YmInitModel.h"
#include "YmIo.h"
#include "YmLimits.h"
#include "YmMsgField.h"
#include "YmPlatform.h"
#include "YmSLinearPat.h"
#include "YmServer.h"
#include "YmShell.h"
#include "YmText.h"
#include "YmTmpFile.h"

namespace {

// The document data, the header text and the attribute must fit one frame;
// a document larger than this leaves room for the rest and is refused.
constexpr unsigned int kMaxDocBytes = YM_MAX_FRAME_LENGTH - 1024 * 1024;

std::string tool(YmPath id) { return ymShellPath(ymPath(id)); }

// The login's user name and the server's host name, which the init model
// keeps; empty before a login (or where there is no init model).
std::string localUser() { return theInitModel ? ymStd(theInitModel->_localUsr) : ""; }

std::string serverHost() { return theInitModel ? ymStd(theInitModel->_server) : ""; }

// A host name for the remote shell: letters, digits, dots, '-' and '_',
// not starting with '-' (which would read as an option).
bool validHost(const std::string& h) {
    if (h.empty() || h.size() > 255 || h[0] == '-') return false;
    for (unsigned char c : h)
        if (!isalnum(c) && c != '.' && c != '-' && c != '_') return false;
    return true;
}

// The templates of the fax conversion are printf-like: a '%' of the command
// itself (in a file name) must not be taken for the output file's place.
std::string escapePercent(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

}  // namespace

YmDocModel::YmDocModel() : _docLen(0), _type(0) {}

YmDocModel::~YmDocModel() {}

void YmDocModel::init(const char* fname, int type, const char* marks, const char* client) {
    ymSetText(_fname, fname);
    _type = type;
    ymSetText(_marks, marks);
    ymSetText(_client, client);
    _reqName.resize(0, 0);
    _attrib.resize(0, 0);
    _docBuffer.resize(0, 0);
    _docLen = 0;
}

void YmDocModel::setReqName(const char* name) { ymSetText(_reqName, name); }

YmBool YmDocModel::openDoc() { return readFile(_fname); }

void YmDocModel::closeDoc() {
    _docBuffer.resize(0, 0);
    _attrib.resize(0, 0);
}

char* YmDocModel::docBuffer() {
    return _docBuffer.slength - 1 >= 2 ? reinterpret_cast<char*>(_docBuffer.data) : nullptr;
}

YmStr YmDocModel::filter() { return YmStr(); }

std::string YmDocModel::qname() { return ymShellQuote(ymStd(_fname)); }

std::string YmDocModel::catCmd() { return tool(YmPath::Cat) + " " + qname(); }

std::string YmDocModel::textCmd() {
    YmStr f = filter();
    return f.slength > 1 ? ymStd(f) : catCmd();
}

YmBool YmDocModel::readFile(YmStr fname) {
    _docBuffer.resize(0, 0);
    _docLen = 0;
    int fd = open(ymText(fname), O_RDONLY);
    if (fd < 0) return 0;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 1 ||
        st.st_size > off_t(kMaxDocBytes)) {
        close(fd);
        return 0;
    }
    unsigned int want = unsigned(st.st_size);
    _docBuffer.resize(want);
    // The file may have shrunk since fstat: the buffer keeps what was there.
    long n = ymReadAll(fd, _docBuffer.data, want);
    close(fd);
    unsigned int got = n > 0 ? unsigned(n) : 0;
    if (got < 1) {
        _docBuffer.resize(0, 0);
        return 0;
    }
    if (got < want) _docBuffer.resize(got);
    _docLen = got;
    if (_marks.slength > 1) setMarks();
    return 1;
}

int YmDocModel::getPoint(const YmStr& instr, YmBool bNext) {
    unsigned int posn = 0;
    YmStr lead = instr.token(posn, ';');
    if (lead.slength < 2 || ymMsgAtoi(lead) >= 1) return -1;
    YmStr start = posn < instr.slength - 1 ? instr.token(posn, ';') : YmStr();
    if (start.slength < 2) return -1;
    int p = ymMsgAtoi(start);
    if (bNext) {
        YmStr len = posn < instr.slength - 1 ? instr.token(posn, ';') : YmStr();
        if (len.slength < 2) return -1;
        p = ymMsgAtoi(len);
        if (p == 0) return -1;
    }
    return p;
}

void YmDocModel::setMarks() {
    YmStr work = _marks;
    if (work.slength < 2) return;
    unsigned int i = 0;
    int line = 0;
    int visible = -1;
    unsigned int posn = 0;
    unsigned int textLen = _docBuffer.slength - 1;
    YmStr item = work.token(posn, '\t');
    if (item.slength < 2 || textLen == 0) return;
    for (;;) {
        int start = getPoint(item, 0);
        int length = getPoint(item, 1);
        if (start == -1 || length == -1) break;
        if (i == 0) _marks.resize(0, 0);
        while (i < textLen && visible != start) {
            unsigned char c = _docBuffer.data[i++];
            if (c >= 33 && c <= 126) visible++;
            if (c == '\n') line++;
        }
        // Items come in ascending order; one whose start was already passed
        // has scanned to the end and ends the conversion.
        if (visible == start) {
            char entry[64];
            snprintf(entry, sizeof entry, "%d;%d;%d\t", line, int(i) - 1, length);
            _marks.append(entry);
        }
        item = posn < work.slength - 1 ? work.token(posn, '\t') : YmStr();
        if (item.slength < 2 || i >= textLen) break;
    }
}

void YmDocModel::rmBlanks() {
    YmSLinearPat pat("\n\n\n", 3);
    for (;;) {
        int at = pat.findBuffer(ymText(_docBuffer), _docBuffer.slength - 1);
        if (at < 0) break;
        _docBuffer.remove(unsigned(at), 1);
    }
}

YmBool YmDocModel::execCmd(const char* buf) { return buf && *buf && ymShellOk(buf); }

YmBool YmDocModel::diffHost() {
    std::string c = ymStd(_client), s = serverHost();
    c = c.substr(0, c.find('.'));
    s = s.substr(0, s.find('.'));
    for (char& ch : c) ch = char(toupper((unsigned char)ch));
    for (char& ch : s) ch = char(toupper((unsigned char)ch));
    return c != s;
}

std::string YmDocModel::printCmd(const std::string& host, const std::string& printer,
                                 const std::string& user) {
    // With a print host the spooler's words are read twice, by this shell
    // and by the remote one, so each is quoted for both.
    bool remote = !host.empty();
    auto word = [remote](const std::string& w) {
        return remote ? ymShellQuote(ymShellQuote(w)) : ymShellQuote(w);
    };
    std::string cmd = textCmd() + " | ";
    if (remote) {
        if (!validHost(host)) return "";
        cmd += tool(YmPath::Rsh) + " " + ymShellQuote("lp@" + host) + " ";
        // The remote host's own spooler, not this machine's platform root.
        cmd += word(ymPathLiteral(YmPath::Lp));
    } else {
        cmd += tool(YmPath::Lp);
    }
    if (printer.size() >= 3) cmd += " " + word("-d" + printer);
    if (!user.empty()) cmd += " " + word("-t" + user);
    return cmd;
}

std::string YmDocModel::fallbackPrintCmd() { return tool(YmPath::Lp) + " " + qname(); }

YmBool YmDocModel::print(const char* dest) {
    YmStr d(dest);
    unsigned int posn = 0;
    std::string host, printer;
    YmStr first = d.token(posn, '\n');
    if (first.slength > 1) {
        host = ymStd(first);
        if (posn < d.slength - 1) printer = ymStd(d.token(posn, '\n'));
    }
    std::string cmd = printCmd(host, printer, localUser());
    if (!cmd.empty() && execCmd(cmd.c_str())) return 1;
    return execCmd(fallbackPrintCmd().c_str());
}

std::string YmDocModel::copyCmd(const std::string& dest) {
    // A copy must replace neither a document nor the server's own files;
    // cp gets the checked path, not the client's text.
    YmDocAccess access;
    access.load();
    std::string target;
    // A relative target would be taken from the server's current folder,
    // which means nothing to a client.
    if (dest.empty() || dest[0] != '/' || dest.size() > PATH_MAX ||
        !access.allowedCopyTarget(dest.c_str(), ymText(_fname), &target))
        return "";
    return tool(YmPath::Cp) + " " + qname() + " " + ymShellQuote(target);
}

YmBool YmDocModel::copy(const char* dest) {
    std::string cmd = copyCmd(dest ? dest : "");
    return !cmd.empty() && execCmd(cmd.c_str());
}

std::string YmDocModel::mailDomain(const std::string& host) {
    size_t last = host.rfind('.');
    if (last == std::string::npos || last == 0) return "";
    size_t prev = host.rfind('.', last - 1);
    return prev == std::string::npos ? host : host.substr(prev + 1);
}

std::string YmDocModel::mailAddress(const std::string& addr, const std::string& domain) {
    if (addr.empty() || addr[0] == '-') return "";
    for (unsigned char c : addr)
        if (c <= ' ' || c >= 127) return "";
    if (addr.find('@') != std::string::npos) return addr;
    return addr + "@" + (domain.empty() ? YM_DEFAULT_MAIL_DOMAIN : domain);
}

YmBool YmDocModel::email(const char* dest) {
    std::string domain = mailDomain(serverHost());
    YmStr d(dest);
    unsigned int posn = 0;
    YmStr rcpt = d.token(posn, '\n');
    if (rcpt.slength < 2) return 0;
    std::string sender = posn < d.slength - 1 ? ymStd(d.token(posn, '\n')) : "";
    std::string comment = posn < d.slength - 1 ? ymStd(d.token(posn, '\n')) : "";
    // Without a sender line the mail comes from the logged-in user rather
    // than from "@domain", which no mail system accepts.
    if (sender.empty()) sender = localUser();
    if (sender.empty()) sender = "nobody";
    std::string to = mailAddress(ymStd(rcpt), domain);
    std::string from = mailAddress(sender, domain);
    if (to.empty() || from.empty()) return 0;
    // A carriage return in the comment would start a header of its own.
    for (char& c : comment)
        if ((unsigned char)c < ' ' && c != '\t') c = ' ';

    YmTmpFile tmp("doc");
    if (!tmp.ok()) return 0;
    FILE* fp = fopen(tmp.name(), "w");
    if (!fp) return 0;
    fprintf(fp, "Subject: DruskIII Document\n");
    fprintf(fp, "From: %s\nReply-To: %s\n", from.c_str(), from.c_str());
    if (!comment.empty()) fprintf(fp, "Comments: %s\n", comment.c_str());
    // The blank line ends the header: without it the document's first
    // lines would be read as more header lines (an indented one as the
    // continuation of the last).
    fprintf(fp, "\n");
    if (fclose(fp) != 0) return 0;

    std::string docCmd = textCmd() + " >> " + tmp.quoted();
    std::string sendCmd = tool(YmPath::Cat) + " " + tmp.quoted() + "| " + tool(YmPath::Sendmail) +
                          " " + ymShellQuote("-f" + from) + " " + ymShellQuote(to);
    return execCmd(docCmd.c_str()) && execCmd(sendCmd.c_str());
}

YmStr YmDocModel::convertFax() { return ymStr(escapePercent(textCmd()) + " > %s "); }

YmBool YmDocModel::fax(const char* inbuf) {
    YmStr conv = convertFax();
    YmFaxReq req;
    YmBool ok = req.fax(inbuf ? inbuf : "", ymText(conv), 1);
    _attrib = req._errStr;
    return ok;
}

// ---------------------------------------------------------------- text family

YmStr YmTextModel::filterOf(const std::string& first, const std::string& rest) {
    return ymStr(first + qname() + rest);
}

YmBool YmTextModel::readFile(YmStr /*fname*/) {
    YmStr f = filter();
    if (f.slength < 2) return YmDocModel::readFile(_fname);
    YmTmpFile tmp("ym");
    if (!tmp.ok()) return 0;
    if (!execCmd((ymStd(f) + " > " + tmp.quoted()).c_str())) return 0;
    return YmDocModel::readFile(tmp.name());
}

YmStr YmTextModel::convertFax() {
    // The name the document is known by: the stored file behind a link
    // may have no extension of its own.
    std::string name = ymStd(_reqName.slength > 1 ? _reqName : _fname);
    size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? name : name.substr(dot + 1);
    std::string cmd = catCmd();
    if (ext != "ps") cmd += " | " + tool(YmPath::Col) + " -xb | text2fax";
    return ymStr(escapePercent(cmd) + " > %s ");
}

YmStr YmTroffModel::filter() {
    return filterOf(tool(YmPath::Tbl) + " ",
                    " | " + tool(YmPath::Nroff) + " | " + tool(YmPath::Col) + " -xb ");
}

YmStr YmManModel::filter() {
    return filterOf(tool(YmPath::Tbl) + " ", " | " + tool(YmPath::Nroff) + " -i " +
                                                 tool(YmPath::TmacAn) + " | " + tool(YmPath::Col) +
                                                 " -xb ");
}

YmStr YmMmModel::filter() {
    return filterOf(tool(YmPath::Tbl) + " ",
                    " | " + tool(YmPath::Nroff) + " -mm | " + tool(YmPath::Col) + " -xb ");
}

YmStr YmPcatModel::filter() {
    return filterOf(tool(YmPath::Pcat) + " ", " | " + tool(YmPath::Col) + " -xb ");
}

YmStr YmZcatModel::filter() {
    return filterOf(tool(YmPath::Zcat) + " ", " | " + tool(YmPath::Col) + " -xb ");
}
