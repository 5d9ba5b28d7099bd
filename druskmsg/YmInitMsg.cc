// The login messages; see YmInitMsg.h.
#include "YmInitMsg.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "YmLimits.h"
#include "YmMsgField.h"
#include "YmMsgTypes.h"
#include "mps.h"


// ---- request ----

YmInitReqMsg::YmInitReqMsg() { init(); }

YmInitReqMsg::~YmInitReqMsg() {}

void YmInitReqMsg::init() {
    _usr.resize(0, 0);
    _group.resize(0, 0);
    _groupId.resize(0, 0);
    _buf.resize(0, 0);
}

void YmInitReqMsg::setUsr(const char* u) { ymSetText(_usr, u); }
void YmInitReqMsg::setGroup(const char* g) { ymSetText(_group, g); }
void YmInitReqMsg::setGroupId(const char* gId) { ymSetText(_groupId, gId); }

void YmInitReqMsg::prepareForSend() {
    _buf.resize(0, 0);
    ymAppendField(_buf, _usr, 2);
    ymAppendField(_buf, _group, 2);
    ymAppendField(_buf, _groupId, 2);
}

int YmInitReqMsg::send(const char* u, const char* g, const char* gId, char** result) {
    setUsr(u);
    setGroup(g);
    setGroupId(gId);
    prepareForSend();
    int ret = -1;
    if (theMPS)
        ret = theMPS->Send(YmMsgType::InitReq, 0, reinterpret_cast<char*>(_buf.data), int(_buf.slength), result,
                           nullptr);
    if (ret < 0) fprintf(stderr, "INITREQMSG: Send Communication Error\n");
    init();
    return ret;
}

void YmInitReqMsg::readIn(const char* buf) { readIn(buf, buf ? int(strlen(buf)) + 1 : 0); }

void YmInitReqMsg::readIn(const char* buf, int len) {
    init();
    if (!buf || len <= 0) return;
    YmStr text = ymPayloadText(buf, unsigned(len));
    unsigned int posn = 0;
    _usr = ymLongField(text, posn);
    _group = ymLongField(text, posn);
    _groupId = ymLongField(text, posn);
}

// ---- result ----

YmInitResultMsg::YmInitResultMsg() : _errCode(0) { init(); }

YmInitResultMsg::~YmInitResultMsg() {}

void YmInitResultMsg::init() {
    removeTreeBuff();
    for (int i = 0; i < YM_INIT_CAPS; i++) _bCaps[i] = i < 5 ? 1 : 0;
    _buf.resize(0, 0);
    _dataVers.resize(0, 0);
    _editSrc.resize(0, 0);
    _dirCmdSrc.resize(0, 0);
    _errCode = 0;
}

void YmInitResultMsg::setCaps(const YmBool* inCaps) {
    if (inCaps) memcpy(_bCaps, inCaps, sizeof _bCaps);
}

void YmInitResultMsg::setTreeBuff(const char* inTree) {
    if (!inTree) return;
    YmStr t(inTree);
    _treeBuff.append(&t);
}

void YmInitResultMsg::removeTreeBuff() { _treeBuff.remove(0, _treeBuff.length()); }

void YmInitResultMsg::setErrCode(unsigned int code) { _errCode = int(code); }
void YmInitResultMsg::setDataVers(const char* v) { ymSetText(_dataVers, v); }
void YmInitResultMsg::setEditSrc(const char* s) { ymSetText(_editSrc, s); }
void YmInitResultMsg::setDirCmdSrc(const char* s) { ymSetText(_dirCmdSrc, s); }

void YmInitResultMsg::prepareForSend() {
    _buf = YmStr(_errCode, "%d\f");
    ymAppendField(_buf, _dataVers, 1);
    ymAppendField(_buf, _editSrc, 1);
    ymAppendField(_buf, _dirCmdSrc, 1);
    for (int i = 0; i < YM_INIT_CAPS; i++) _buf.append(_bCaps[i] == 1 ? '1' : '0');
    _buf.append(YM_FIELD_SEP);
    for (unsigned int i = 0; i < _treeBuff.length(); i++)
        if (_treeBuff[i].slength > 1) ymAppendField(_buf, _treeBuff[i], 1);
}

void YmInitResultMsg::send(const YmStrArray& inTree, const YmBool* inCap, const YmStr& inVer,
                           const YmStr& inEditSrc, const YmStr& inDirCmdSrc) {
    setCaps(inCap);
    for (unsigned int i = 0; i < inTree.length(); i++) {
        // Copied as stored, so a text is not cut at an embedded NUL twice.
        YmStr t(inTree[i]);
        _treeBuff.append(&t);
    }
    setDataVers(reinterpret_cast<const char*>(inVer.data));
    setEditSrc(reinterpret_cast<const char*>(inEditSrc.data));
    setDirCmdSrc(reinterpret_cast<const char*>(inDirCmdSrc.data));
    prepareForSend();
    if (theMPS)
        theMPS->Send(YmMsgType::InitResult, 0, reinterpret_cast<char*>(_buf.data), int(_buf.slength), nullptr,
                     nullptr);
    init();
}

void YmInitResultMsg::readIn(const char* buf) { readIn(buf, buf ? int(strlen(buf)) + 1 : 0); }

void YmInitResultMsg::readIn(const char* buf, int len) {
    init();
    if (!buf || len <= 0) return;
    YmStr text = ymPayloadText(buf, unsigned(len));
    unsigned int posn = 0;
    YmStr code = text.token(posn, YM_FIELD_SEP);
    _errCode = ymMsgAtoi(code);
    _dataVers = ymLongField(text, posn);
    _editSrc = ymLongField(text, posn);
    _dirCmdSrc = ymLongField(text, posn);
    YmStr caps = text.token(posn, YM_FIELD_SEP);
    for (unsigned int i = 0; i < YM_INIT_CAPS && i < caps.slength - 1; i++) _bCaps[i] = caps.data[i] == '1';
    for (;;) {
        YmStr tree = text.token(posn, YM_FIELD_SEP);
        if (tree.slength <= 1) break;
        _treeBuff.append(&tree);
    }
}

// ---- state messages ----

int YmInitStateMsg::encode(int ia, const char* data, unsigned char out[YM_INIT_STATE_SIZE]) {
    size_t n = data ? strlen(data) : 0;
    if (n >= size_t(YM_STATE_DATA_SIZE)) return -1;
    memset(out, 0, YM_INIT_STATE_SIZE);
    uint32_t be = htonl(uint32_t(ia));
    memcpy(out, &be, 4);
    if (n) memcpy(out + 4, data, n);
    return 0;
}

int YmInitStateMsg::sendState(int msgType, int ia, const char* data) {
    unsigned char payload[YM_INIT_STATE_SIZE];
    if (encode(ia, data, payload) < 0) {
        fprintf(stderr, "INITSTATEMSG: text of %zu characters refused (at most %d)\n", strlen(data),
                YM_STATE_DATA_SIZE - 1);
        return -1;
    }
    int ret = -1;
    if (theMPS)
        ret = theMPS->Send(msgType, 0, reinterpret_cast<char*>(payload), YM_INIT_STATE_SIZE, nullptr, nullptr);
    if (ret < 0) fprintf(stderr, "INITSTATEMSG: Send Communication Error\n");
    return ret;
}

int YmInitStateMsg::setInit(int ia, const char* data) { return sendState(YmMsgType::SetInit, ia, data); }
int YmInitStateMsg::getInit(int ia, const char* data) { return sendState(YmMsgType::GetInit, ia, data); }
int YmInitStateMsg::setPref(int ia, const char* data) { return sendState(YmMsgType::SetPref, ia, data); }
