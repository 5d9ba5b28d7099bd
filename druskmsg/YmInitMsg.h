// The login exchange between a client and the server.
//
// YmInitReqMsg (201, client to server) names the user, the group and the
// group id. YmInitResultMsg (205, server to client) returns an error code,
// the data version, edit source and directory command source texts, seven
// capability flags and one directory tree text per tree root. Both halves of
// each message are here: the server decodes requests and encodes results,
// a client does the opposite. YmInitStateMsg sends the fixed-size binary
// state messages 202-204 of the client side.
//
// Text payloads are fields each followed by a form feed, then a NUL that the
// frame's Length counts. Readers split with YmStr::token, which takes a run
// of separators as one, so an empty field is written as one space, and
// clients rely on this: a request field shorter than 2 characters is sent as
// a space and arrives empty.
#ifndef YM_INIT_MSG_H
#define YM_INIT_MSG_H

#include "YmStr.h"
#include "YmStrArray.h"
#include "YmTypes.h"

constexpr int YM_INIT_CAPS = 7;

class YmInitReqMsg {
  public:
    YmInitReqMsg();
    virtual ~YmInitReqMsg();
    virtual const char* className() const { return "YmInitReqMsg"; }
    virtual void init();

    // A null or empty argument leaves the field empty.
    void setUsr(const char* u);
    void setGroup(const char* g);
    void setGroupId(const char* gId);
    void prepareForSend();
    // Sets the fields, sends 201 through theMPS and waits for the answer,
    // whose payload comes back in *result (the caller frees it). Returns the
    // answer's length, or a negative value after reporting the failure.
    int send(const char* u, const char* g, const char* gId, char** result);

    // Grammar: usr FF group FF groupId FF NUL. A field shorter than two
    // characters, or missing, is empty. The (buf, len) form reads at most len
    // bytes and needs no NUL; a null buf leaves every field empty.
    void readIn(const char* buf);
    void readIn(const char* buf, int len);

    YmStr _usr;
    YmStr _group;
    YmStr _groupId;
    YmStr _buf;  // the encoded payload, without its NUL
};

class YmInitResultMsg {
  public:
    YmInitResultMsg();
    virtual ~YmInitResultMsg();
    virtual const char* className() const { return "YmInitResultMsg"; }
    // No trees, flags 1 1 1 1 1 0 0, empty texts, error code 0.
    virtual void init();

    void setCaps(const YmBool* inCaps);
    void setTreeBuff(const char* inTree);  // appends; nothing for null
    void removeTreeBuff();
    void setErrCode(unsigned int code);
    void setDataVers(const char* v);
    void setEditSrc(const char* s);
    void setDirCmdSrc(const char* s);
    void prepareForSend();
    // Takes the trees, flags and texts, sends 205 through theMPS without
    // waiting, then init(). The error code is set beforehand.
    void send(const YmStrArray& inTree, const YmBool* inCap, const YmStr& inVer, const YmStr& inEditSrc,
              const YmStr& inDirCmdSrc);

    // Grammar: errCode FF dataVers FF editSrc FF dirCmdSrc FF caps FF
    // { tree FF } NUL. errCode is decimal (non-numeric reads as 0); a text
    // shorter than 2 characters reads as empty; caps is up to seven '0'/'1'
    // characters, missing ones keep the init() values; trees run until the
    // first empty token. Never fails.
    void readIn(const char* buf);
    void readIn(const char* buf, int len);

    YmStrArray _treeBuff;
    YmBool _bCaps[YM_INIT_CAPS];
    int _errCode;
    YmStr _dataVers;
    YmStr _editSrc;
    YmStr _dirCmdSrc;
    YmStr _buf;  // the encoded payload, without its NUL
};

// The state message as it travels: type (big-endian on the wire) and a
// NUL-terminated text of at most 255 characters; the unused bytes are 0.
struct initMsgStruct {
    int type;
    unsigned char data[256];
};

constexpr int YM_INIT_STATE_SIZE = 260;

class YmInitStateMsg {
  public:
    virtual ~YmInitStateMsg() {}
    virtual const char* className() const { return "YmInitMsg"; }
    virtual void init() {}

    // Send 203, 202 and 204 respectively (flag 0, no reply). A null text is
    // sent as empty. A text longer than 255 characters is refused: nothing
    // is sent and -1 returned. Otherwise the send result.
    int setInit(int ia, const char* data);
    int getInit(int ia, const char* data);
    int setPref(int ia, const char* data);

    // The 260 payload bytes for (ia, data); -1 if the text does not fit.
    static int encode(int ia, const char* data, unsigned char out[YM_INIT_STATE_SIZE]);

  private:
    int sendState(int msgType, int ia, const char* data);
};

#endif
