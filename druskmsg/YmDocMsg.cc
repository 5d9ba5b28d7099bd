// The document service's messages; see YmDocMsg.h.
#include "YmDocMsg.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "YmMsgField.h"
#include "YmPlatform.h"
#include "YmMsgTypes.h"
#include "mps.h"

namespace {

void appendNumber(YmStr& buf, int n) {
    YmStr t(n, "%d\f");
    buf.append(reinterpret_cast<const char*>(t.data), t.slength - 1);
}

const char* text(const YmStr& s) { return reinterpret_cast<const char*>(s.data); }

// Reads the length field at posn and leaves in buf exactly the document bytes
// that follow it. They start right after the length's one form feed: the
// tokenizer would skip a whole run, and with it form feeds that begin the
// data. The length comes from the peer, so it is checked against the bytes
// that are there. Returns 0, with buf empty, for a negative length or one
// larger than the bytes present.
YmBool takeData(YmStr& buf, unsigned int posn) {
    unsigned int stored = buf.slength - 1;
    unsigned int end = buf.next(posn, YM_FIELD_SEP);
    int length = ymMsgAtoi(buf.extract(posn, end - posn));
    unsigned int start = end < stored ? end + 1 : end;
    if (length <= 0 || unsigned(length) > stored - start) {
        buf.resize(0, 0);
        return length == 0;
    }
    YmStr data = buf.extract(start, unsigned(length));
    buf = data;
    return 1;
}

bool isImage(int type) { return type == 11 || type == 17; }

}  // namespace

// ---- action ----

YmDocActionMsg::YmDocActionMsg() : _hdr(new YmDocHdr) { init(); }

YmDocActionMsg::~YmDocActionMsg() { delete _hdr; }

void YmDocActionMsg::init() {
    _fname.resize(0, 0);
    _flist.resize(0, 0);
    _client.resize(0, 0);
    _actionStr.resize(0, 0);
    _buf.resize(0, 0);
    _hdr->init("");
    _type = 1;
    _index = 0;
    _action = YM_DOC_VIEW;
    _bFlist = 0;
    _bHdr = 0;
    _bForceView = 0;
}

void YmDocActionMsg::setAction(int da) { _action = da; }

void YmDocActionMsg::setFname(const char* s) { ymSetText(_fname, s); }
void YmDocActionMsg::setActionStr(const char* s) { ymSetText(_actionStr, s); }
void YmDocActionMsg::setClient(const char* s) { ymSetText(_client, s); }

void YmDocActionMsg::setFlist(const char* s) {
    ymSetText(_flist, s);
    if (_flist.slength > 1) _bFlist = 1;
}

void YmDocActionMsg::setType(int i) { _type = i; }
void YmDocActionMsg::setIndex(int i) { _index = i; }
void YmDocActionMsg::setForceView(YmBool b) { _bForceView = b; }

void YmDocActionMsg::setHdr(const char* s) {
    if (!s || !*s) {
        _bHdr = 0;
        return;
    }
    _bHdr = 1;
    _hdr->init(s);
    _type = _hdr->_type;
    setFname(text(_hdr->_fname));
}

void YmDocActionMsg::setDocHdr(YmDocHdr* inH) {
    if (inH) setHdr(inH->hdrLine(1));
}

YmStr YmDocActionMsg::hdrOrName() { return _bHdr ? YmStr(_hdr->hdrLine(1)) : _fname; }

void YmDocActionMsg::prepareForSend() {
    _buf.resize(0, 0);
    appendNumber(_buf, _bHdr ? 1 : 0);
    appendNumber(_buf, _bForceView ? 1 : 0);
    appendNumber(_buf, _action);
    appendNumber(_buf, _index);
    appendNumber(_buf, _type);
    ymAppendField(_buf, _client);
    ymAppendField(_buf, _actionStr);
    ymAppendField(_buf, _flist);
    ymAppendField(_buf, hdrOrName());
}

int YmDocActionMsg::send() {
    prepareForSend();
    if (_action < YM_DOC_VIEW || _action > YM_DOC_MAIL) return -1;
    int ret = -1;
    if (theMPS)
        ret = theMPS->Send(YmMsgType::DocAction, _action, reinterpret_cast<char*>(_buf.data), int(_buf.slength),
                           nullptr, nullptr);
    if (ret < 0) fprintf(stderr, "DOC_ACTION_MSG: Send Communication Error\n");
    init();
    return ret;
}

int YmDocActionMsg::send(YmDocHdr* hdr, int index) {
    setDocHdr(hdr);
    setIndex(index);
    return send();
}

int YmDocActionMsg::send(const char* hdrtext, int index) {
    setHdr(hdrtext);
    setIndex(index);
    return send();
}

void YmDocActionMsg::readIn(const char* s) { readIn(s, s ? unsigned(strlen(s)) + 1 : 0); }

void YmDocActionMsg::readIn(const char* s, unsigned int len) {
    init();
    if (!s) return;
    YmStr t = ymPayloadText(s, len);
    unsigned int posn = 0;
    int hdrFlag = ymMsgAtoi(t.token(posn, YM_FIELD_SEP));
    YmStr forceView = t.token(posn, YM_FIELD_SEP);
    _bForceView = forceView.slength > 1 && ymMsgAtoi(forceView) != 0;
    _action = ymMsgAtoi(t.token(posn, YM_FIELD_SEP));
    _index = ymMsgAtoi(t.token(posn, YM_FIELD_SEP));
    _type = ymMsgAtoi(t.token(posn, YM_FIELD_SEP));
    _client = ymLongField(t, posn);
    _actionStr = ymLongField(t, posn);
    setFlist(text(ymLongField(t, posn)));
    YmStr last = ymLongField(t, posn);
    if (hdrFlag != 0)
        setHdr(text(last));
    else
        _fname = last;
}

// ---- result ----

YmDocResultMsg::YmDocResultMsg() : _errCode(0), _width(0), _height(0), _nulAdded(0) {}

YmDocResultMsg::~YmDocResultMsg() {}

void YmDocResultMsg::init() {
    _docBuffer.resize(0, 0);
    _attrib.resize(0, 0);
    _tmpfname.resize(0, 0);
    _errCode = 0;
    _width = 0;
    _height = 0;
    _nulAdded = 0;
    YmDocActionMsg::init();
}

void YmDocResultMsg::setDocBuff(const char* buf, unsigned int len) {
    _docBuffer.resize(0, 0);
    _nulAdded = 0;
    if (buf && len) _docBuffer = YmStr(buf, len);
}

void YmDocResultMsg::setAttrib(const char* s) { ymSetText(_attrib, s); }
void YmDocResultMsg::setErrCode(int i) { _errCode = i; }

void YmDocResultMsg::prepareForSend() {
    YmStr head;
    appendNumber(head, _bHdr ? 1 : 0);
    appendNumber(head, _errCode);
    appendNumber(head, _index);
    appendNumber(head, _type);
    appendNumber(head, _bForceView ? 1 : 0);
    ymAppendField(head, hdrOrName());
    ymAppendField(head, _attrib);
    appendNumber(head, int(_docBuffer.slength - 1));
    _docBuffer.insert(text(head), 0, head.slength - 1);
}

int YmDocResultMsg::send(int msgType) {
    prepareForSend();
    if (theMPS)
        theMPS->Send(msgType ? msgType : YmMsgType::DocResult, _type, reinterpret_cast<char*>(_docBuffer.data),
                     int(_docBuffer.slength), nullptr, nullptr);
    return 1;
}

YmBool YmDocResultMsg::readIn(const char* s, unsigned int len) {
    init();
    if (!s) return 1;
    _docBuffer = YmStr(s, len);
    unsigned int posn = 0;
    int hdrFlag = ymMsgAtoi(_docBuffer.token(posn, YM_FIELD_SEP));
    _errCode = ymMsgAtoi(_docBuffer.token(posn, YM_FIELD_SEP));
    _index = ymMsgAtoi(_docBuffer.token(posn, YM_FIELD_SEP));
    _type = ymMsgAtoi(_docBuffer.token(posn, YM_FIELD_SEP));
    _bForceView = ymMsgAtoi(_docBuffer.token(posn, YM_FIELD_SEP)) == 1;
    YmStr name = ymLongField(_docBuffer, posn);
    if (hdrFlag != 0)
        setHdr(text(name));
    else
        _fname = name;
    _attrib = ymLongField(_docBuffer, posn);
    if (_errCode != 0) return 1;

    YmBool ok = takeData(_docBuffer, posn);
    if (_docBuffer.slength > 1 && !isImage(_type)) {
        _docBuffer.append('\0');
        _nulAdded = 1;
    }
    if (isImage(_type)) parseAttrib();
    return ok;
}

char* YmDocResultMsg::writeDoc() {
    _tmpfname = YmStr(ymPath(YmPath::TmpDir)) | "/ymtmpXXXXXX";
    char* name = reinterpret_cast<char*>(_tmpfname.data);
    int fd = mkstemp(name);
    FILE* f = fd < 0 ? nullptr : fdopen(fd, "w");
    if (!f) {
        if (fd >= 0) {
            close(fd);
            unlink(name);
        }
        _tmpfname.resize(0, 0);
        return nullptr;
    }
    unsigned int n = _docBuffer.slength - 1;
    if (_nulAdded && n > 0) n--;
    bool ok = n > 0 && fwrite(_docBuffer.data, 1, n, f) == n;
    if (fclose(f) != 0) ok = false;
    if (!ok) {
        // A partly written file would pass for the whole document.
        unlink(name);
        _tmpfname.resize(0, 0);
        return nullptr;
    }
    _docBuffer.resize(0, 0);
    _nulAdded = 0;
    return name;
}

void YmDocResultMsg::parseAttrib() {
    unsigned int semi = _attrib.next(0, ';');
    int w = ymMsgAtoi(_attrib.head(semi));
    int h = semi + 1 < _attrib.slength ? ymMsgAtoi(text(_attrib) + semi + 1) : 0;
    _width = w > 0 ? unsigned(w) : 0;
    _height = h > 0 ? unsigned(h) : 0;
}

// ---- edit ----

YmDocEditMsg::YmDocEditMsg() : _code(0) {}

YmDocEditMsg::~YmDocEditMsg() {}

void YmDocEditMsg::init() {
    _docBuffer.resize(0, 0);
    _fname.resize(0, 0);
    _src.resize(0, 0);
    _code = 0;
}

void YmDocEditMsg::setDocBuff(const char* buf, unsigned int len) {
    _docBuffer.resize(0, 0);
    if (!buf || len == 0) return;
    size_t n = strnlen(buf, len);
    if (n == 0) return;
    _docBuffer = YmStr(buf, unsigned(n));
    if (buf[n - 1] != '\n') _docBuffer.append('\n');
}

void YmDocEditMsg::setFname(const char* s) { ymSetText(_fname, s); }
void YmDocEditMsg::setSrc(const char* s) { ymSetText(_src, s); }
void YmDocEditMsg::setEditSrc(const char* s) { ymSetText(_editSrc, s); }
void YmDocEditMsg::setCode(int i) { _code = i; }

void YmDocEditMsg::prepareForSend() {
    YmStr head(_code, "%d\f");
    ymAppendField(head, _fname);
    ymAppendField(head, _src);
    ymAppendField(head, _editSrc);
    appendNumber(head, int(_docBuffer.slength - 1));
    _docBuffer.insert(text(head), 0, head.slength - 1);
}

int YmDocEditMsg::send(int msgType, const char* fname, const char* src, const char* editSrc, int code,
                       char** reply) {
    setFname(fname);
    setSrc(src);
    setEditSrc(editSrc);
    setCode(code);
    prepareForSend();
    int type = msgType ? msgType : YmMsgType::DocSave;
    char* res = nullptr;
    if (theMPS)
        theMPS->Send(type, 0, reinterpret_cast<char*>(_docBuffer.data), int(_docBuffer.slength - 1),
                     type == YmMsgType::DocSave ? &res : nullptr, nullptr);
    if (reply)
        *reply = res;
    else
        free(res);
    init();
    return 1;
}

YmBool YmDocEditMsg::readIn(const char* s, unsigned int len) {
    init();
    if (!s) return 1;
    _docBuffer = YmStr(s, len);
    unsigned int posn = 0;
    _code = ymMsgAtoi(_docBuffer.token(posn, YM_FIELD_SEP));
    _fname = ymLongField(_docBuffer, posn);
    _src = ymLongField(_docBuffer, posn);
    _editSrc = ymLongField(_docBuffer, posn);
    return takeData(_docBuffer, posn);
}

// ---- edit error ----

int YmDocEditErrMsg::send(int code) {
    YmStr payload(code, "%d");
    if (theMPS)
        theMPS->Send(YmMsgType::EditError, 0, reinterpret_cast<char*>(payload.data), int(payload.slength), nullptr,
                     nullptr);
    return 1;
}

int YmDocEditErrMsg::readIn(const char* s, unsigned int len) { return ymMsgAtoi(ymPayloadText(s, len)); }
