// The document service's messages, both halves of each.
//
// YmDocActionMsg (405, client to server) asks to view, print, copy, fax or
// mail a document, named by its header text, by a file name, or by a file
// list. YmDocResultMsg (407 with the document's data, 408 with an error code)
// answers it. YmDocEditMsg (413 save, 414 security value) carries an edited
// document or a new security value; YmDocEditErrMsg (415) answers an edit
// with an error code.
//
// Payloads are text fields, each followed by a form feed, numbers in decimal;
// see YmMsgField.h for the one-blank rule. Clients rely on this: a text field
// shorter than two characters is sent as one blank and arrives empty. The
// result and edit payloads end in a length field and then the document's
// bytes, which may be anything.
#ifndef YM_DOC_MSG_H
#define YM_DOC_MSG_H

#include "YmDocHdr.h"
#include "YmStr.h"
#include "YmTypes.h"

// Document actions: the action message's _action and its frame's flag.
enum {
    YM_DOC_VIEW = 1,
    YM_DOC_PRINT = 2,
    YM_DOC_COPY = 3,
    YM_DOC_FAX = 4,
    YM_DOC_MAIL = 5,
};

class YmDocActionMsg {
  public:
    YmDocActionMsg();
    virtual ~YmDocActionMsg();
    YmDocActionMsg(const YmDocActionMsg&) = delete;
    YmDocActionMsg& operator=(const YmDocActionMsg&) = delete;

    virtual const char* className() const { return "YmDocActionMsg"; }
    // Empty texts and header, type 1, index 0, action 1 (view), flags false.
    virtual void init();
    virtual void setAction(int da);
    // Encodes into _buf (without the NUL that send adds).
    virtual void prepareForSend();

    // The member becomes empty, then s when s is neither null nor empty.
    void setFname(const char* s);
    void setActionStr(const char* s);
    void setClient(const char* s);
    // As above; taking a text also sets _bFlist (never cleared here).
    void setFlist(const char* s);
    void setType(int i);
    void setIndex(int i);
    void setForceView(YmBool b);
    // A null or empty s clears _bHdr and changes nothing else. Otherwise the
    // header parses s, and _type and _fname follow the header's.
    void setHdr(const char* s);
    // setHdr of inH's full header text; nothing for null.
    void setDocHdr(YmDocHdr* inH);

    // Encodes and sends 405 through theMPS with the action as flag, then
    // init(). An action outside 1 to 5 is not sent (and the message not
    // reset): -1. Otherwise the service's result; a negative one is reported
    // on standard error.
    int send();
    int send(YmDocHdr* hdr, int index);
    int send(const char* hdrtext, int index);

    // Grammar (each field followed by a form feed):
    //   hdrFlag forceView action index type client actionStr flist last
    // numbers decimal (non-numeric reads 0); texts shorter than two
    // characters read as empty; last is the header text when hdrFlag is not
    // 0 (its type and file name then win over the type field), else the file
    // name. Missing fields read as 0 or empty. The (s, len) form reads at most
    // len bytes, up to the first NUL, and needs none; a null s leaves the
    // message as init() makes it.
    void readIn(const char* s);
    void readIn(const char* s, unsigned int len);

    YmDocHdr* _hdr;  // owned
    YmBool _bHdr;
    YmBool _bForceView;
    YmBool _bFlist;
    int _action;
    YmStr _actionStr;
    YmStr _fname;
    YmStr _flist;  // "path;type" lines
    YmStr _client;
    int _type;
    int _index;
    YmStr _buf;

  protected:
    // The header text, or the file name when there is no header.
    YmStr hdrOrName();
};

class YmDocResultMsg : public YmDocActionMsg {
  public:
    YmDocResultMsg();
    ~YmDocResultMsg() override;

    const char* className() const override { return "YmDocResultMsg"; }
    void init() override;
    // Puts the payload text in front of the document bytes in _docBuffer.
    void prepareForSend() override;

    // Exactly len bytes of buf (any bytes); empty for null or 0.
    void setDocBuff(const char* buf, unsigned int len);
    void setAttrib(const char* s);
    void setErrCode(int i);

    // Encodes and sends msgType (407 when 0) through theMPS with _type as
    // flag and the payload's NUL counted. Always 1.
    int send(int msgType);

    // Grammar (each field followed by a form feed):
    //   hdrFlag errCode index type forceView hdrOrName attrib length
    // then exactly `length` document bytes (and the sender's NUL). With an
    // error code other than 0, reading stops before the length and _docBuffer
    // keeps the whole payload. Otherwise _docBuffer becomes the document
    // bytes, followed by one NUL byte for every type but the images (11, 17),
    // whose _attrib gives _width and _height. The data start right after the
    // length's one form feed, so data that begin with form feeds keep them.
    // Returns 0, with _docBuffer empty, when the length is negative or larger
    // than the bytes present; else 1.
    YmBool readIn(const char* s, unsigned int len);

    // Writes the document's bytes (not the NUL that readIn added) to a new
    // file "ymtmpXXXXXX" in the temporary folder, made with mkstemp, and
    // returns its name (kept in _tmpfname; the caller removes the file), then
    // empties _docBuffer. Null, with _tmpfname empty and no file left behind,
    // when the file cannot be made or not every byte can be written (an
    // empty document included).
    char* writeDoc();
    // _width and _height from "width;height" in _attrib; negative values
    // read as 0.
    void parseAttrib();

    YmStr _docBuffer;
    YmStr _attrib;
    YmStr _tmpfname;
    int _errCode;
    unsigned int _width;
    unsigned int _height;

  private:
    YmBool _nulAdded;  // readIn appended a NUL to the document bytes
};

class YmDocEditMsg {
  public:
    YmDocEditMsg();
    virtual ~YmDocEditMsg();
    virtual const char* className() const { return "YmDocEditMsg"; }

    // Empties _docBuffer, _fname and _src, _code 0; keeps _editSrc.
    void init();
    // The text of buf, read up to its first NUL but never past len bytes,
    // plus a newline unless it ends in one; empty for null, 0 or "".
    void setDocBuff(const char* buf, unsigned int len);
    void setFname(const char* s);
    void setSrc(const char* s);
    void setEditSrc(const char* s);
    void setCode(int i);
    // Puts the payload text in front of the document text in _docBuffer.
    void prepareForSend();

    // Sets the four fields, encodes and sends msgType (413 when 0) with flag
    // 0 and no NUL, then init(). For 413 it waits for the server's first
    // answer, whose payload goes to *reply when reply is given (the caller
    // frees it) and is dropped otherwise. Always 1.
    int send(int msgType, const char* fname, const char* src, const char* editSrc, int code,
             char** reply = nullptr);

    // Grammar (each field followed by a form feed):
    //   code fname src editSrc length
    // then exactly `length` bytes of document text. Texts shorter than two
    // characters read as empty. Returns 0, with _docBuffer empty, when the
    // length is negative or larger than the bytes present; else 1.
    YmBool readIn(const char* s, unsigned int len);

    YmStr _docBuffer;
    YmStr _fname;
    YmStr _src;
    YmStr _editSrc;
    int _code;  // security value to set; -1: leave it
};

class YmDocEditErrMsg {
  public:
    virtual ~YmDocEditErrMsg() {}
    virtual const char* className() const { return "YmDocEditErrMsg"; }

    // Sends 415, flag 0, with code in decimal and its NUL. Always 1.
    int send(int code);
    // The client's half: the code of a 415 payload of len bytes.
    static int readIn(const char* s, unsigned int len);
};

#endif
