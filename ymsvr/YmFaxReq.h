// YmFaxReq: sends one document by fax through the workstation's fax tools.
//
// A document model gives it the client's fax form and a conversion command
// template. fax() writes a cover sheet with "faxcover", converts the document
// into a fax file with the template, hands both to "sendfax", removes the two
// temporary files and keeps what the conversion and "sendfax" printed in
// _errStr, the text that goes back to the client. The tools are found
// through PATH.
//
// The form is ten newline-separated lines: recipient's name, fax number,
// company, location, voice number, comments, fax host, sender as shown on
// the cover, sender's user name, client host name. A run of newlines counts
// as one; fields not given stay one blank. Every field comes from the client
// and goes into a shell command line, so each is passed as one quoted word
// that can run nothing else.
#ifndef YM_FAX_REQ_H
#define YM_FAX_REQ_H

#include "YmStr.h"
#include "YmTypes.h"

// Longest command line fax() runs. Honest forms are ten short lines; a
// command this long is refused before anything runs, which keeps a client's
// form far below what the shell accepts as one command.
constexpr unsigned int YM_FAX_CMD_MAX = 8192;

// Most output kept from the captured commands; the rest is read and dropped,
// so a talkative tool can neither block on a full pipe nor grow the answer
// without bound.
constexpr unsigned int YM_FAX_OUTPUT_MAX = 64 * 1024;

class YmFaxReq {
  public:
    // The form as fax() reads it.
    struct Form {
        Form();
        YmStr name, dest, comp, loc, phone, pages, comments, faxserver, faxuser, client, usr;
    };

    YmFaxReq();
    virtual ~YmFaxReq();
    virtual const char* className() const { return "YmFaxReq"; }

    // Sends the fax: 1 when "sendfax" took it, 0 when the fax number has
    // fewer than 3 characters (nothing runs, _errStr stays empty), a command
    // line would be too long, a temporary file cannot be made, or the
    // conversion or "sendfax" cannot be started or ends with a status other
    // than 0. convertStr is a printf-style template whose one "%s" receives
    // the fax file's (quoted) name; "%%" is a percent sign. The temporary
    // files are removed in every case. The flag does not change anything.
    YmBool fax(const char* inbuf, const char* convertStr, YmBool bText);

    // Runs cmd with the document path's shell runner (YmShell.h: a pipeline
    // fails when any of its stages fails) and keeps its wait status in
    // _status (-1 when it could not be started). Without capture: 1 when the
    // status is 0. With capture: standard output is appended to _errStr in
    // pieces of at most 254 characters, each followed by a newline (a whole
    // line thus ends in two); 1 whenever the command could be started.
    YmBool execCmd(const char* cmd, YmBool bTrapOutput);

    // Kept for callers of the interface; they do nothing.
    YmBool createFax(YmStr, YmStr, YmStr, YmStr, YmStr, YmStr, YmBool) { return 1; }
    YmBool checkFaxServer(YmStr) { return 1; }

    // The steps of fax(), open for tests.
    static void readForm(const char* inbuf, Form& f);
    // The client host name without its first label: "a.b.c" gives "b.c"; a
    // name without a dot or starting with one is used whole.
    static YmStr clientDomain(const YmStr& client);
    static YmStr coverCmd(const Form& f, const char* cover);
    static YmStr convertCmd(const char* convertStr, const char* fname);
    static YmStr sendCmd(const Form& f, const char* cover, const char* fname);

    YmStr _errStr;
    int _status;
};

#endif
