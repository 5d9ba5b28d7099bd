// YmDocModel: one document of the knowledge base for one request, and the
// text family of models derived from it.
//
// The document manager creates a model for a request, calls init, then one
// action (openDoc to view, print, copy, fax or email), then closeDoc, and
// destroys it. Reading puts the document's displayable data in _docBuffer
// and turns the hit marks the search side delivered into the header's marks
// line; the actions run external programs through the shell, and succeed
// when the command's exit status is 0.
//
// The text family differs only in its filter, the shell command that writes
// the displayable text to standard output:
//   YmTextModel, YmTableModel  none: the file as stored
//   YmTroffModel   tbl FILE | nroff | col -xb
//   YmManModel     tbl FILE | nroff -i tmac.an | col -xb
//   YmMmModel      tbl FILE | nroff -mm | col -xb
//   YmPcatModel    pcat FILE | col -xb
//   YmZcatModel    zcat FILE | col -xb
// Programs are taken from the platform path table. Every value that reaches
// a command line (the file name, and the printer, host, copy target, mail
// addresses and comment, and the login's user name that a client supplies)
// is one quoted word there or is refused, so that none can run anything.
//
// Search-side marks, the form init receives: tab-separated items
// "0;START;LENGTH", START counted in visible characters (bytes 33 to 126,
// the first one is 0). The marks line that reading makes of them has one
// "LINE;OFFSET;LENGTH\t" per hit: newlines before the hit, the index of its
// first byte in _docBuffer, and the length.
#ifndef YM_DOC_MODEL_H
#define YM_DOC_MODEL_H

#include <string>

#include "YmStr.h"
#include "YmTypes.h"

// The mail domain for senders and recipients without "@" when the server's
// host name has no domain of its own: mail then stays on this machine.
constexpr const char* YM_DEFAULT_MAIL_DOMAIN = "localhost";

class YmDocModel {
  public:
    YmDocModel();

    // The command that converts the document into the fax service's input
    // format, with "%s" where the output file goes ("%%" for a percent sign
    // of the command itself).
    virtual YmStr convertFax();
    // Reads the file fname whole into _docBuffer, then converts the marks.
    // False when it cannot be opened, is empty, or is too large to send.
    virtual YmBool readFile(YmStr fname);
    virtual void setMarks();
    // Shrinks every run of three or more newlines to two. _docLen is left
    // as it was.
    virtual void rmBlanks();
    // The command that writes the displayable text to standard output;
    // empty when the file is shown as stored.
    virtual YmStr filter();
    virtual ~YmDocModel();
    virtual const char* className() const { return "YmDocModel"; }
    virtual YmBool openDoc();
    virtual void closeDoc();
    // dest: "HOST\nPRINTER" (an empty first line: no host, no printer).
    // The document's text goes to the spooler, on HOST through the remote
    // shell when one is given; when that fails, the stored file goes to the
    // default printer of this machine.
    virtual YmBool print(const char* dest);
    // dest: an absolute path outside the data directories and document
    // folders, not a symbolic link (see YmDocAccess::allowedCopyTarget);
    // anything else fails without running cp.
    virtual YmBool copy(const char* dest);
    // inbuf: the client's fax form. _attrib becomes the fax service's text.
    virtual YmBool fax(const char* inbuf);
    // dest: "RECIPIENT\nSENDER\nCOMMENT".
    virtual YmBool email(const char* dest);
    // _docBuffer's bytes when it holds 2 or more, else null. Valid until
    // closeDoc or destruction.
    virtual char* docBuffer();

    // Null or empty marks and client leave those members empty; the
    // requested name is emptied.
    void init(const char* fname, int type, const char* marks, const char* client);
    // The name the client asked for, when fname is the file it resolved to
    // (after links): the fax conversion takes the extension from it.
    void setReqName(const char* name);
    // The start (bNext false) or the length (bNext true) of one search-side
    // item; -1 when the item is not valid.
    int getPoint(const YmStr& instr, YmBool bNext);
    // Runs buf; true when its exit status is 0.
    YmBool execCmd(const char* buf);
    // True when the client's host (its display name up to the first dot) is
    // not the server's, compared without regard to case.
    YmBool diffHost();

    // The pieces of the actions, open for tests. Each returns "" when a
    // value is refused (the action then fails).
    // The print command for a filter (or "" for the stored file); user is
    // the job's title.
    std::string printCmd(const std::string& host, const std::string& printer,
                         const std::string& user);
    std::string fallbackPrintCmd();
    std::string copyCmd(const std::string& dest);
    // The last two labels of host joined by a dot; "" with fewer than two.
    static std::string mailDomain(const std::string& host);
    // addr with "@domain" added when it has none; "" for an address the
    // mail command could take for something else (empty, a leading '-', a
    // blank or a control character).
    static std::string mailAddress(const std::string& addr, const std::string& domain);
    // The stored file as a command's input: "cat FILE".
    std::string catCmd();

    YmStr _docBuffer;
    unsigned int _docLen;
    YmStr _fname;
    YmStr _marks;
    YmStr _client;
    int _type;
    YmStr _attrib;
    YmStr _reqName;

  protected:
    // The file name as one quoted word.
    std::string qname();
    // filter(), or "cat FILE" when it is empty.
    std::string textCmd();
};

class YmTextModel : public YmDocModel {
  public:
    const char* className() const override { return "YmTextModel"; }
    // Reads _fname (the argument is not used): through the filter into a
    // temporary file when there is one, else directly.
    YmBool readFile(YmStr fname) override;
    // "cat FILE > %s" for a PostScript file (the requested name, else the
    // file's, ending in "ps" after its last dot), else "cat FILE | col -xb |
    // text2fax > %s": the stored text, not the formatter's output.
    YmStr convertFax() override;
    YmStr filter() override { return YmStr(); }

  protected:
    // first, the quoted file name, then rest.
    YmStr filterOf(const std::string& first, const std::string& rest);
};

class YmTableModel : public YmTextModel {
  public:
    const char* className() const override { return "YmTableModel"; }
};

class YmTroffModel : public YmTextModel {
  public:
    const char* className() const override { return "YmTroffModel"; }
    YmStr filter() override;
};

class YmManModel : public YmTextModel {
  public:
    const char* className() const override { return "YmManModel"; }
    YmStr filter() override;
};

class YmMmModel : public YmTextModel {
  public:
    const char* className() const override { return "YmMmModel"; }
    YmStr filter() override;
};

class YmPcatModel : public YmTextModel {
  public:
    const char* className() const override { return "YmPcatModel"; }
    YmStr filter() override;
};

class YmZcatModel : public YmTextModel {
  public:
    const char* className() const override { return "YmZcatModel"; }
    YmStr filter() override;
};

#endif
