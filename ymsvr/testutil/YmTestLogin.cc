#include "YmTestLogin.h"

#include "YmInitMsg.h"
#include "YmMsgTypes.h"

std::string ymLoginRequest(const char* user, const char* group, const char* groupId) {
    YmInitReqMsg req;
    req.setUsr(user);
    req.setGroup(group);
    req.setGroupId(groupId);
    req.prepareForSend();
    return std::string(reinterpret_cast<const char*>(req._buf.data), req._buf.slength);
}

bool ymLogin(YmClient& c, const std::string& user, const char* group, std::string* result) {
    if (!c.send(YmMsgType::InitReq, 0, ymLoginRequest(user.c_str(), group))) return false;
    YmFrame f;
    if (!c.recv(&f) || f.type != YmMsgType::InitResult || f.flag != 0) return false;
    if (result) *result = f.payload;
    return true;
}
