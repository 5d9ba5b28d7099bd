// Logging a test client in: the 201 request and the wait for its 205.
//
//   YmClient c;
//   ASSERT_TRUE(c.connect(srv));
//   ASSERT_TRUE(ymLogin(c, "jo"));               // group "staff"
//   c.send(YmMsgType::InitReq, 0, ymLoginRequest("jo", nullptr));  // raw bytes
#ifndef YM_TEST_LOGIN_H
#define YM_TEST_LOGIN_H

#include <string>

#include "YmServerFixture.h"

// The payload of a 201 for user, group and group id (null fields are left
// empty).
std::string ymLoginRequest(const char* user, const char* group = "staff", const char* groupId = nullptr);

// Sends the 201 and waits for a 205 with flag 0; its payload goes to
// *result when given. False on anything else.
bool ymLogin(YmClient& c, const std::string& user, const char* group = "staff",
             std::string* result = nullptr);

#endif
