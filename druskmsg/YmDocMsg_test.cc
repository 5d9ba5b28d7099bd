// The document messages: exact payload bytes, round trips of every class
// (empty, one-character and binary fields included), payloads cut short or
// with a wrong length field, the sends through the service, and writeDoc.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "YmDocMsg.h"
#include "YmPlatform.h"
#include "YmMsgTypes.h"
#include "mps.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1); }

// Everything a local handler of the service was given.
struct Capture {
    int flag = 0;
    std::string data;
    int calls = 0;
    static int handler(void* self, int flag, char* data, int dlen, char**, int*) {
        Capture* c = static_cast<Capture*>(self);
        c->flag = flag;
        c->data.assign(data, size_t(dlen));
        c->calls++;
        return 1;
    }
};

// theMPS with local handlers standing in for the connection, so every send
// ends up in a Capture.
class LocalService : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = theMPS;
        theMPS = &mps;
    }
    void TearDown() override { theMPS = saved; }
    Capture* capture(int type) {
        captures.emplace_back(new Capture);
        mps.Register(type, Capture::handler, captures.back().get());
        return captures.back().get();
    }
    MPS mps;
    MPS* saved = nullptr;
    std::vector<std::unique_ptr<Capture>> captures;
};

const char kHdr[] = "99\n4\n100\n/d/x\n110\nTitle\n112\n0\n256\n0;3;2\t";
// kHdr as hdrLine(true) rebuilds it.
const char kHdrBuilt[] = "99\n4\n100\n/d/x\n110\nTitle\n112\n0\n256\n0;3;2\t";

TEST(YmDocActionMsg, EncodesExactBytes) {
    struct Case {
        const char* name;
        const char* hdr;  // null: by file name
        const char* fname;
        int action, index, type;
        YmBool force;
        const char* client;
        const char* actionStr;
        const char* flist;
        std::string bytes;
    } cases[] = {
        {"view by header", kHdr, nullptr, 1, 3, 9, 0, "ws1.lab", nullptr, nullptr,
         std::string("1\f0\f1\f3\f4\fws1.lab\f \f \f") + kHdrBuilt + "\f"},
        {"print by name, one-character client", nullptr, "/d/y", 2, 0, 2, 1, "h", "host\nlaser", nullptr,
         "0\f1\f2\f0\f2\f \fhost\nlaser\f \f/d/y\f"},
        {"mail a list, form feed in a field", nullptr, nullptr, 5, -1, 1, 0, "", "a@b\fc\nme", "/d/1;1\n/d/2;4\n",
         "0\f0\f5\f-1\f1\f \fa@b c\nme\f/d/1;1\n/d/2;4\n\f \f"},
    };
    for (const Case& c : cases) {
        YmDocActionMsg m;
        m.setType(c.type);
        m.setHdr(c.hdr);
        m.setFname(c.fname);
        m.setAction(c.action);
        m.setIndex(c.index);
        m.setForceView(c.force);
        m.setClient(c.client);
        m.setActionStr(c.actionStr);
        m.setFlist(c.flist);
        m.prepareForSend();
        EXPECT_EQ(str(m._buf), c.bytes) << c.name;
    }
}

TEST(YmDocActionMsg, DecodesPayloads) {
    struct Case {
        const char* name;
        std::string payload;
        YmBool bHdr, force, flist;
        int action, index, type;
        const char *client, *actionStr, *fname;
    } cases[] = {
        {"header wins over the type field", std::string("1\f0\f1\f3\f9\fws\f \f \f99\n4\n100\n/d/x\n256\n\f") + '\0',
         1, 0, 0, 1, 3, 4, "ws", "", "/d/x"},
        {"one-character client arrives empty", std::string("0\f1\f2\f0\f2\fh\fhost\nlp1\f \f/d/y\f") + '\0', 0, 1, 0, 2,
         0, 2, "", "host\nlp1", "/d/y"},
        {"file list", std::string("0\f0\f3\f7\f1\fws\f/tmp/t\f/a;1\n\f \f"), 0, 0, 1, 3, 7, 1, "ws", "/tmp/t", ""},
        {"force view blank is false", std::string("0\f \f1\f0\f1\f") + '\0', 0, 0, 0, 1, 0, 1, "", "", ""},
        {"cut short", "1\f1\f", 0, 1, 0, 0, 0, 0, "", "", ""},
        {"bytes after the NUL are not read", std::string("0\f0\f4\f\0\f5\f6\f", 13), 0, 0, 0, 4, 0, 0, "", "", ""},
        {"empty", "", 0, 0, 0, 0, 0, 0, "", "", ""},
    };
    for (const Case& c : cases) {
        YmDocActionMsg m;
        m.setFname("stale");
        m.readIn(c.payload.data(), unsigned(c.payload.size()));
        EXPECT_EQ(m._bHdr, c.bHdr) << c.name;
        EXPECT_EQ(m._bForceView, c.force) << c.name;
        EXPECT_EQ(m._bFlist, c.flist) << c.name;
        EXPECT_EQ(m._action, c.action) << c.name;
        EXPECT_EQ(m._index, c.index) << c.name;
        EXPECT_EQ(m._type, c.type) << c.name;
        EXPECT_EQ(str(m._client), c.client) << c.name;
        EXPECT_EQ(str(m._actionStr), c.actionStr) << c.name;
        EXPECT_EQ(str(m._fname), c.fname) << c.name;
    }
    YmDocActionMsg m;
    m.readIn("0\f0\f1\f0\f1\f \f \f \f/d/z\f");  // the C-string form
    EXPECT_EQ(str(m._fname), "/d/z");
    m.readIn(nullptr);
    EXPECT_EQ(m._type, 1);
    EXPECT_EQ(m._fname.slength, 1u);
}

TEST_F(LocalService, ActionSendsAndResets) {
    Capture* got = capture(YmMsgType::DocAction);
    YmDocActionMsg m;
    m.setAction(7);
    m.setClient("ws1");
    EXPECT_EQ(m.send(), -1);
    EXPECT_EQ(got->calls, 0);
    EXPECT_EQ(str(m._client), "ws1");  // not reset

    YmDocHdr h;
    h.init(kHdr);
    m.setAction(4);
    m.setActionStr("Jo\n555-1234");
    EXPECT_EQ(m.send(&h, 8), 0);
    ASSERT_EQ(got->calls, 1);
    EXPECT_EQ(got->flag, 4);
    EXPECT_EQ(got->data, std::string("1\f0\f4\f8\f4\fws1\fJo\n555-1234\f \f") + kHdrBuilt + "\f" + '\0');
    EXPECT_EQ(m._action, 1);
    EXPECT_EQ(m._client.slength, 1u);

    EXPECT_EQ(m.send(kHdr, 2), 0);
    YmDocActionMsg r;
    r.readIn(got->data.data(), unsigned(got->data.size()));
    EXPECT_EQ(r._index, 2);
    EXPECT_EQ(r._type, 4);
    EXPECT_EQ(str(r._hdr->_title), "Title");
    EXPECT_EQ(str(r._hdr->_markLine), "0;3;2\t");

    theMPS = nullptr;
    m.setAction(1);
    EXPECT_LT(m.send(), 0);  // no service: reported as a failed send
    EXPECT_STREQ(m.className(), "YmDocActionMsg");
}

std::string resultPayload(YmDocResultMsg& m) {
    m.prepareForSend();
    return std::string(reinterpret_cast<const char*>(m._docBuffer.data), m._docBuffer.slength);
}

TEST(YmDocResultMsg, EncodesExactBytes) {
    YmDocResultMsg m;
    m.setHdr(kHdr);
    m.setIndex(3);
    EXPECT_EQ(resultPayload(m), std::string("1\f0\f3\f4\f0\f") + kHdrBuilt + "\f \f0\f" + '\0');

    YmDocResultMsg n;
    n.setFname("/d/pic.rgb");
    n.setType(11);
    n.setErrCode(0);
    n.setForceView(1);
    n.setAttrib("640;480");
    n.setDocBuff("\0\1\2", 3);
    const char image[] = "0\f0\f0\f11\f1\f/d/pic.rgb\f640;480\f3\f\0\1\2";
    EXPECT_EQ(resultPayload(n), std::string(image, sizeof image));
    EXPECT_STREQ(n.className(), "YmDocResultMsg");
}

TEST(YmDocResultMsg, RoundTrips) {
    struct Case {
        const char* name;
        const char* hdr;
        const char* fname;
        int type, err, index;
        const char* attrib;
        std::string doc;
        // what arrives
        int typeBack;
        const char* attribBack;
        std::string docBack;  // stored bytes of _docBuffer
    } cases[] = {
        {"text with header", kHdr, nullptr, 0, 0, 3, "", "line 1\nline 2\n", 4, "", std::string("line 1\nline 2\n") + '\0'},
        {"binary text keeps its NULs", nullptr, "/d/b", 1, 0, 0, "x", std::string("a\0b\0", 4), 1, "",
         std::string("a\0b\0\0", 5)},
        {"leading form feeds are data", nullptr, "/d/ff", 2, 0, 0, "", "\f\fpage 2", 2, "",
         std::string("\f\fpage 2") + '\0'},
        {"image gets no NUL", nullptr, "/d/p.rgb", 17, 0, 0, "2;1", std::string("\xff\0\f\n", 4), 17, "2;1",
         std::string("\xff\0\f\n", 4)},
        {"no document", nullptr, "/d/e", 5, 0, 0, "", "", 5, "", ""},
        {"one-character file name", nullptr, "f", 1, 0, 0, "", "", 1, "", ""},
    };
    for (const Case& c : cases) {
        YmDocResultMsg m;
        m.setType(c.type);
        m.setHdr(c.hdr);
        m.setFname(c.fname);
        m.setErrCode(c.err);
        m.setIndex(c.index);
        m.setAttrib(c.attrib);
        m.setDocBuff(c.doc.data(), unsigned(c.doc.size()));
        std::string p = resultPayload(m);

        YmDocResultMsg r;
        EXPECT_EQ(r.readIn(p.data(), unsigned(p.size())), 1) << c.name;
        EXPECT_EQ(r._type, c.typeBack) << c.name;
        EXPECT_EQ(r._index, c.index) << c.name;
        EXPECT_EQ(r._bHdr, c.hdr ? 1 : 0) << c.name;
        EXPECT_EQ(str(r._fname), c.hdr ? "/d/x" : (c.fname[1] ? c.fname : "")) << c.name;
        EXPECT_EQ(str(r._attrib), c.attribBack) << c.name;
        EXPECT_EQ(str(r._docBuffer), c.docBack) << c.name;
    }
}

TEST(YmDocResultMsg, ErrorsImagesAndForceView) {
    YmDocResultMsg r;
    std::string failed = std::string("0\f1\f2\f3\f1\f/d/q\fsendfax: no host\f0\f") + '\0';
    r.readIn(failed.data(), unsigned(failed.size()));
    EXPECT_EQ(r._errCode, 1);
    EXPECT_EQ(r._bForceView, 1);
    EXPECT_EQ(str(r._attrib), "sendfax: no host");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r._docBuffer.data), r._docBuffer.slength - 1), failed);

    std::string image = std::string("0\f0\f0\f11\f2\f/d/p\f640;480\f0\f") + '\0';
    r.readIn(image.data(), unsigned(image.size()));
    EXPECT_EQ(r._docBuffer.slength, 1u);
    EXPECT_EQ(r._bForceView, 0);  // only 1 sets it
    EXPECT_EQ(r._width, 640u);
    EXPECT_EQ(r._height, 480u);

    struct Attr {
        const char* text;
        unsigned int w, h;
    } attrs[] = {{"12", 12, 0}, {"-5;x", 0, 0}, {"", 0, 0}, {";7", 0, 7}};
    for (const Attr& a : attrs) {
        r.setAttrib(a.text);
        r.parseAttrib();
        EXPECT_EQ(r._width, a.w) << a.text;
        EXPECT_EQ(r._height, a.h) << a.text;
    }
}

TEST(YmDocResultMsg, CorruptLengthsAreRefused) {
    YmDocResultMsg m;
    m.setFname("/d/t");
    m.setDocBuff("0123456789", 10);
    std::string good = resultPayload(m);  // "0\f0\f0\f1\f0\f/d/t\f \f10\f0123456789\0"
    size_t lenAt = good.find("10\f");
    ASSERT_NE(lenAt, std::string::npos);

    struct Case {
        const char* name;
        std::string payload;
        YmBool ok;
        std::string doc;
    } cases[] = {
        {"length larger than the data", good.substr(0, lenAt) + "12\f0123456789", 0, ""},
        {"length far beyond", good.substr(0, lenAt) + "99999999999\f0123456789", 0, ""},
        {"negative length", good.substr(0, lenAt) + "-4\f0123456789", 0, ""},
        {"shorter length takes that many", good.substr(0, lenAt) + "4\f0123456789", 1, std::string("0123") + '\0'},
        {"without the trailing NUL", good.substr(0, good.size() - 1), 1, std::string("0123456789") + '\0'},
    };
    for (const Case& c : cases) {
        YmDocResultMsg r;
        EXPECT_EQ(r.readIn(c.payload.data(), unsigned(c.payload.size())), c.ok) << c.name;
        EXPECT_EQ(str(r._docBuffer), c.doc) << c.name;
    }
    // Every cut of a valid payload decodes without reading past it; a cut
    // inside the data is refused.
    for (size_t n = 0; n < good.size(); n++) {
        std::string cut = good.substr(0, n);
        YmDocResultMsg r;
        YmBool ok = r.readIn(cut.data(), unsigned(cut.size()));
        if (n > lenAt + 3 && n < good.size() - 1) {
            EXPECT_EQ(ok, 0) << n;
        }
    }
}

// writeDoc files go below the platform root's /usr/tmp.
class WriteDoc : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(mkdtemp(root), nullptr);
        tmp = std::string(root) + "/usr/tmp";
        ASSERT_EQ(mkdir((std::string(root) + "/usr").c_str(), 0700), 0);
        ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
        const char* old = getenv("YM_ROOT");
        hadRoot = old != nullptr;
        if (old) oldRoot = old;
        setenv("YM_ROOT", root, 1);
        ymPlatformReset();
    }
    void TearDown() override {
        for (const std::string& f : files()) unlink((tmp + "/" + f).c_str());
        rmdir(tmp.c_str());
        rmdir((std::string(root) + "/usr").c_str());
        rmdir(root);
        if (hadRoot)
            setenv("YM_ROOT", oldRoot.c_str(), 1);
        else
            unsetenv("YM_ROOT");
        ymPlatformReset();
    }
    std::vector<std::string> files() {
        std::vector<std::string> out;
        if (DIR* d = opendir(tmp.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') out.push_back(e->d_name);
            closedir(d);
        }
        return out;
    }
    std::string read(const char* path) {
        std::string out;
        if (FILE* f = fopen(path, "rb")) {
            char buf[256];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
            fclose(f);
        }
        return out;
    }
    char root[32] = "/tmp/ymwritedocXXXXXX";
    std::string tmp, oldRoot;
    bool hadRoot = false;
};

TEST_F(WriteDoc, WritesTheDocumentBytes) {
    struct Case {
        int type;
        std::string doc;
    } cases[] = {{1, "text\n"}, {11, std::string("\0\1\2\0", 4)}};
    for (const Case& c : cases) {
        YmDocResultMsg m;
        m.setType(c.type);
        m.setFname("/d/f");
        m.setDocBuff(c.doc.data(), unsigned(c.doc.size()));
        std::string p = resultPayload(m);
        YmDocResultMsg r;
        r.readIn(p.data(), unsigned(p.size()));
        char* name = r.writeDoc();
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::string(name).rfind(tmp + "/ymtmp", 0), 0u) << name;
        EXPECT_EQ(read(name), c.doc);  // not the NUL that readIn added to a text
        EXPECT_EQ(r._docBuffer.slength, 1u);
        EXPECT_EQ(str(r._tmpfname), name);
        struct stat st;
        ASSERT_EQ(stat(name, &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u);  // nobody else's to read
        unlink(name);
    }
}

TEST_F(WriteDoc, NothingToWriteLeavesNoFile) {
    YmDocResultMsg r;
    EXPECT_EQ(r.writeDoc(), nullptr);
    EXPECT_EQ(r._tmpfname.slength, 1u);
    EXPECT_TRUE(files().empty());

    rmdir(tmp.c_str());  // no folder to write in
    r.setDocBuff("abc", 3);
    EXPECT_EQ(r.writeDoc(), nullptr);
    EXPECT_EQ(r._tmpfname.slength, 1u);
    EXPECT_EQ(str(r._docBuffer), "abc");
}

TEST(YmDocEditMsg, EncodesExactBytesAndRoundTrips) {
    YmDocEditMsg m;
    m.setCode(-1);
    m.prepareForSend();
    EXPECT_EQ(str(m._docBuffer), "-1\f \f \f \f0\f");

    struct Case {
        const char* name;
        int code;
        const char *fname, *src, *editSrc;
        std::string text;      // given to setDocBuff
        std::string bytes;     // the payload
        const char* srcBack;   // as read back
        std::string textBack;
    } cases[] = {
        {"save", 2, "/d/f", "news", ":news:mail:", "hello", "2\f/d/f\fnews\f:news:mail:\f6\fhello\n", "news",
         "hello\n"},
        {"one-character source", -1, "/d/f", "n", "", "a\n", "-1\f/d/f\f \f \f2\fa\n", "", "a\n"},
        {"text begins with form feeds", 0, "/d/g", "db", "db", "\f\fx\n", "0\f/d/g\fdb\fdb\f4\f\f\fx\n", "db",
         "\f\fx\n"},
        {"no text", 5, "/d/h", "db", "db", "", "5\f/d/h\fdb\fdb\f0\f", "db", ""},
    };
    for (const Case& c : cases) {
        YmDocEditMsg e;
        e.setCode(c.code);
        e.setFname(c.fname);
        e.setSrc(c.src);
        e.setEditSrc(c.editSrc);
        e.setDocBuff(c.text.data(), unsigned(c.text.size()));
        e.prepareForSend();
        EXPECT_EQ(str(e._docBuffer), c.bytes) << c.name;

        YmDocEditMsg r;
        r.setEditSrc("stale");
        EXPECT_EQ(r.readIn(reinterpret_cast<const char*>(e._docBuffer.data), e._docBuffer.slength - 1), 1) << c.name;
        EXPECT_EQ(r._code, c.code) << c.name;
        EXPECT_EQ(str(r._fname), c.fname) << c.name;
        EXPECT_EQ(str(r._src), c.srcBack) << c.name;
        EXPECT_EQ(str(r._editSrc), std::string(c.editSrc).size() > 1 ? c.editSrc : "") << c.name;
        EXPECT_EQ(str(r._docBuffer), c.textBack) << c.name;
    }
}

TEST(YmDocEditMsg, BoundsAndCorruption) {
    YmDocEditMsg m;
    const char noNul[4] = {'a', 'b', 'c', 'd'};
    m.setDocBuff(noNul, 2);  // never reads past len
    EXPECT_EQ(str(m._docBuffer), "ab\n");
    m.setDocBuff("xy\0z", 4);
    EXPECT_EQ(str(m._docBuffer), "xy\n");
    m.setDocBuff("xy", 0);
    EXPECT_EQ(m._docBuffer.slength, 1u);

    std::string over = "0\f/d/f\fdb\fdb\f9\fshort";
    EXPECT_EQ(m.readIn(over.data(), unsigned(over.size())), 0);
    EXPECT_EQ(m._docBuffer.slength, 1u);
    EXPECT_EQ(str(m._fname), "/d/f");
    std::string neg = "0\f/d/f\fdb\fdb\f-1\fshort";
    EXPECT_EQ(m.readIn(neg.data(), unsigned(neg.size())), 0);
    EXPECT_EQ(m.readIn(nullptr, 3), 1);
    EXPECT_EQ(m._fname.slength, 1u);
    EXPECT_STREQ(m.className(), "YmDocEditMsg");
}

TEST_F(LocalService, EditAndEditErrorSends) {
    Capture* save = capture(YmMsgType::DocSave);
    Capture* mark = capture(YmMsgType::DocMark);
    Capture* err = capture(YmMsgType::EditError);

    YmDocEditMsg m;
    m.setDocBuff("text", 4);
    char* reply = reinterpret_cast<char*>(1);
    EXPECT_EQ(m.send(0, "/d/f", "db", ":db:", -1, &reply), 1);
    EXPECT_EQ(reply, nullptr);  // handled locally: no answer came
    ASSERT_EQ(save->calls, 1);
    EXPECT_EQ(save->flag, 0);
    EXPECT_EQ(save->data, "-1\f/d/f\fdb\f:db:\f5\ftext\n");  // no NUL
    EXPECT_EQ(m._docBuffer.slength, 1u);
    EXPECT_EQ(str(m._editSrc), ":db:");  // init keeps it

    EXPECT_EQ(m.send(YmMsgType::DocMark, "/d/f", "db", ":db:", 3), 1);
    EXPECT_EQ(mark->data, "3\f/d/f\fdb\f:db:\f0\f");

    YmDocEditErrMsg e;
    EXPECT_EQ(e.send(2013), 1);
    EXPECT_EQ(err->flag, 0);
    EXPECT_EQ(err->data, std::string("2013") + '\0');
    EXPECT_EQ(YmDocEditErrMsg::readIn(err->data.data(), unsigned(err->data.size())), 2013);
    EXPECT_EQ(YmDocEditErrMsg::readIn("2014", 2), 20);
    EXPECT_STREQ(e.className(), "YmDocEditErrMsg");
}

TEST_F(LocalService, ResultSendsWithTypeAsFlag) {
    Capture* doc = capture(YmMsgType::DocResult);
    Capture* fail = capture(YmMsgType::DocError);
    YmDocResultMsg m;
    m.setFname("/d/f");
    m.setType(7);
    m.setDocBuff("%!PS", 4);
    EXPECT_EQ(m.send(0), 1);
    EXPECT_EQ(doc->flag, 7);
    EXPECT_EQ(doc->data, std::string("0\f0\f0\f7\f0\f/d/f\f \f4\f%!PS") + '\0');

    YmDocResultMsg e;
    e.setFname("/d/f");
    e.setErrCode(2);
    e.setAttrib("job fax-1 queued");
    EXPECT_EQ(e.send(YmMsgType::DocError), 1);
    EXPECT_EQ(fail->flag, 1);
    EXPECT_EQ(fail->data, std::string("0\f2\f0\f1\f0\f/d/f\fjob fax-1 queued\f0\f") + '\0');
}

}  // namespace
