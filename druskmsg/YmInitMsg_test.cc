// The login messages' encodings: exact payload bytes for a table of field
// values, decoding of short, missing and odd fields, and the state message's
// fixed layout.
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "YmInitMsg.h"
#include "mps.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1); }

// The payload as it travels: the text and its NUL.
// A text and its terminating NUL.
std::string nul(const char* text) { return std::string(text) + '\0'; }

std::string wire(const YmStr& buf) { return std::string(reinterpret_cast<const char*>(buf.data), buf.slength); }

TEST(YmInitReqMsg, EncodesAndDecodesFields) {
    struct Case {
        const char* usr;
        const char* group;
        const char* gid;
        std::string bytes;
        const char* usrBack;  // what the server reads
        const char* groupBack;
        const char* gidBack;
    } cases[] = {
        {"jo", "staff", nullptr, nul("jo\fstaff\f \f"), "jo", "staff", ""},
        {"j", "", "42", nul(" \f \f42\f"), "", "", "42"},
        {"", nullptr, "7", nul(" \f \f \f"), "", "", ""},
        {"a\fb", "gr", "100", nul("a b\fgr\f100\f"), "a b", "gr", "100"},
    };
    for (const Case& c : cases) {
        YmInitReqMsg m;
        m.setUsr(c.usr);
        m.setGroup(c.group);
        m.setGroupId(c.gid);
        m.prepareForSend();
        EXPECT_EQ(wire(m._buf), c.bytes) << c.usr;

        YmInitReqMsg r;
        r.readIn(c.bytes.data(), int(c.bytes.size()));
        EXPECT_EQ(str(r._usr), c.usrBack);
        EXPECT_EQ(str(r._group), c.groupBack);
        EXPECT_EQ(str(r._groupId), c.gidBack);
    }
}

TEST(YmInitReqMsg, DecodesWhateverArrivesWithinItsLength) {
    struct Case {
        const char* name;
        std::string payload;
        const char* usr;
        const char* group;
        const char* gid;
    } cases[] = {
        {"missing fields", nul("jo"), "jo", "", ""},
        {"no NUL at all", "jo\fstaff\fxx", "jo", "staff", "xx"},
        {"runs of separators collapse", nul("jo\f\f\fstaff\f"), "jo", "staff", ""},
        {"empty payload", "", "", "", ""},
        {"bytes after the NUL are not read", std::string("jo\f\0zz\fyy\f", 10), "jo", "", ""},
    };
    for (const Case& c : cases) {
        YmInitReqMsg r;
        r.setUsr("old");
        r.readIn(c.payload.data(), int(c.payload.size()));
        EXPECT_EQ(str(r._usr), c.usr) << c.name;
        EXPECT_EQ(str(r._group), c.group) << c.name;
        EXPECT_EQ(str(r._groupId), c.gid) << c.name;
    }
    YmInitReqMsg r;
    r.setUsr("old");
    r.readIn(nullptr);
    EXPECT_EQ(str(r._usr), "");
}

TEST(YmInitResultMsg, EncodesExactBytes) {
    YmInitResultMsg m;
    m.prepareForSend();
    EXPECT_EQ(wire(m._buf), nul("0\f \f \f \f1111100\f"));

    m.setErrCode(4003);
    m.setDataVers("v 2 ");
    m.setEditSrc("s");  // one character goes as it is here
    m.setDirCmdSrc(":a:b");
    YmBool caps[7] = {0, 1, 0, 1, 0, 1, 7};  // any value but 1 counts as 0
    m.setCaps(caps);
    m.setTreeBuff("0|A\n1|x\n");
    m.setTreeBuff("");  // empty trees are left out
    m.setTreeBuff("0|B\fC\n");
    m.setTreeBuff(nullptr);
    m.prepareForSend();
    EXPECT_EQ(wire(m._buf), nul("4003\fv 2 \fs\f:a:b\f0101010\f0|A\n1|x\n\f0|B C\n\f"));

    YmInitResultMsg r;
    r.readIn(m._buf.data ? reinterpret_cast<const char*>(m._buf.data) : nullptr, int(m._buf.slength));
    EXPECT_EQ(r._errCode, 4003);
    EXPECT_EQ(str(r._dataVers), "v 2 ");
    EXPECT_EQ(str(r._editSrc), "");  // shorter than 2 characters reads as empty
    EXPECT_EQ(str(r._dirCmdSrc), ":a:b");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r._bCaps), 7), std::string("\0\1\0\1\0\1\0", 7));
    ASSERT_EQ(r._treeBuff.length(), 2u);
    EXPECT_EQ(str(r._treeBuff[0]), "0|A\n1|x\n");
    EXPECT_EQ(str(r._treeBuff[1]), "0|B C\n");
}

TEST(YmInitResultMsg, DecodesShortAndOddFields) {
    struct Case {
        const char* name;
        std::string payload;
        int err;
        std::string caps;
        unsigned int trees;
    } cases[] = {
        {"three flags keep the rest", nul("0\f \f \f \f010\f"), 0, std::string("\0\1\0\1\1\0\0", 7), 0},
        {"non-numeric code", nul("abc\f"), 0, std::string("\1\1\1\1\1\0\0", 7), 0},
        {"trees stop at the end", nul("12\fv\fe\fd\f1111111\ft1\ft2\f"), 12,
         std::string("\1\1\1\1\1\1\1", 7), 2},
        {"longer flag token", nul("0\f \f \f \f000000011\f"), 0, std::string(7, '\0'), 0},
    };
    for (const Case& c : cases) {
        YmInitResultMsg r;
        r.readIn(c.payload.data(), int(c.payload.size()));
        EXPECT_EQ(r._errCode, c.err) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(r._bCaps), 7), c.caps) << c.name;
        EXPECT_EQ(r._treeBuff.length(), c.trees) << c.name;
    }
}

TEST(YmInitStateMsg, FixedLayoutAndRefusal) {
    unsigned char out[YM_INIT_STATE_SIZE];
    memset(out, 0xAA, sizeof out);
    ASSERT_EQ(YmInitStateMsg::encode(0x01020304, "ab", out), 0);
    std::string got(reinterpret_cast<char*>(out), sizeof out);
    std::string want = std::string("\x01\x02\x03\x04" "ab", 6) + std::string(254, '\0');
    EXPECT_EQ(got, want);

    ASSERT_EQ(YmInitStateMsg::encode(-1, nullptr, out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), std::string("\xff\xff\xff\xff\0\0\0\0", 8));

    std::string fits(255, 'x'), tooLong(256, 'x');
    EXPECT_EQ(YmInitStateMsg::encode(1, fits.c_str(), out), 0);
    EXPECT_EQ(out[4 + 254], 'x');
    EXPECT_EQ(out[4 + 255], 0);
    EXPECT_EQ(YmInitStateMsg::encode(1, tooLong.c_str(), out), -1);
    EXPECT_STREQ(YmInitStateMsg().className(), "YmInitMsg");
}

// A state message goes out as one 272-byte frame; a text that does not fit
// is refused before anything reaches the connection.
TEST(YmInitStateMsg, SendsWholeFramesAndRefusesLongTexts) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    MPS mps;
    mps.Init(1, const_cast<char*>("localhost"));  // a port, so sends go out
    mps._msg.Attach(fds[0]);
    MPS* saved = theMPS;
    theMPS = &mps;

    YmInitStateMsg s;
    EXPECT_EQ(s.setInit(1, std::string(256, 'x').c_str()), -1);
    char buf[400];
    EXPECT_EQ(recv(fds[1], buf, sizeof buf, MSG_DONTWAIT), -1);  // nothing written
    EXPECT_EQ(errno, EAGAIN);

    struct Case {
        int (YmInitStateMsg::*send)(int, const char*);
        int type;
    } cases[] = {{&YmInitStateMsg::getInit, 202}, {&YmInitStateMsg::setInit, 203}, {&YmInitStateMsg::setPref, 204}};
    for (const Case& c : cases) {
        EXPECT_EQ((s.*c.send)(7, std::string(255, 'y').c_str()), YM_INIT_STATE_SIZE);
        std::string got;
        while (got.size() < 12 + YM_INIT_STATE_SIZE) {
            ssize_t r = recv(fds[1], buf, sizeof buf, 0);
            ASSERT_GT(r, 0);
            got.append(buf, size_t(r));
        }
        std::string hdr = std::string("\0\0\0", 3) + char(c.type) + std::string("\0\0\0\0\0\0\x01\x04", 8);
        EXPECT_EQ(got.substr(0, 12), hdr) << c.type;
        EXPECT_EQ(got.substr(12, 4), std::string("\0\0\0\x07", 4));
        EXPECT_EQ(got.substr(16), std::string(255, 'y') + '\0');
    }
    theMPS = saved;
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
