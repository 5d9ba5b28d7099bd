// The search messages: exact payload bytes of both messages, decoding of
// short and odd fields, and the client's reading of a result: splitting,
// get, getField and sort by every key.
#include "YmSrchMsg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "YmMsgTypes.h"
#include "mps.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data)); }
const std::string kMark(1, YM_RECORD_MARK);

std::string nul(const std::string& text) { return text + '\0'; }
std::string wire(const YmStr& buf) {
    return std::string(reinterpret_cast<const char*>(buf.data), buf.slength);
}

TEST(YmSrchReqMsg, EncodesAndDecodesFields) {
    struct Case {
        const char* name;
        const char* dbs;
        const char* query;
        const char* tag;
        unsigned int near, maxHits;
        YmBool narrow, thes, count;
        int err;
        std::string bytes;
        const char* dbsBack;  // what the server reads
        const char* queryBack;
        const char* tagBack;
    } cases[] = {
        {"all empty", "", nullptr, "", 0, 0, 0, 0, 0, 0, nul(" \f \f \f0\f0\f0\f0\f0\f0\f"), "", "",
         ""},
        {"full", "docs\nmanuals", "0\nA B\n", "tag", 10, 100, 1, 1, 0, 0,
         nul("docs\nmanuals\f0\nA B\n\ftag\f10\f100\f1\f1\f0\f0\f"), "docs\nmanuals", "0\nA B\n",
         "tag"},
        {"one character each", "d", "q", "t", 3, 5, 0, 0, 1, 2, nul(" \fq\f \f3\f5\f0\f0\f1\f2\f"),
         "", "", ""},
        {"form feed inside a text", "db", "0\na\fb\n", nullptr, 1, 2, 0, 1, 1, -1,
         nul("db\f0\na b\n\f \f1\f2\f0\f1\f1\f-1\f"), "db", "0\na b\n", ""},
    };
    for (const Case& c : cases) {
        YmSrchReqMsg m;
        m.setSrchDBs(c.dbs);
        m.setQuery(c.query);
        m.setSrBkTag(c.tag);
        m.setNear(c.near);
        m.setMaxHits(c.maxHits);
        m.setNarrow(c.narrow);
        m.setThes(c.thes);
        m.setCount(c.count);
        m.setErrCode(c.err);
        m.prepareForSend();
        EXPECT_EQ(wire(m._buf), c.bytes) << c.name;

        YmSrchReqMsg r;
        r.readIn(c.bytes.data(), unsigned(c.bytes.size()));
        EXPECT_EQ(str(r._srchDBs), c.dbsBack) << c.name;
        EXPECT_EQ(str(r._query), c.queryBack) << c.name;
        EXPECT_EQ(str(r._srBkTag), c.tagBack) << c.name;
        EXPECT_EQ(r._near, c.near) << c.name;
        EXPECT_EQ(r._maxHits, c.maxHits) << c.name;
        EXPECT_EQ(r._bNarrow, c.narrow) << c.name;
        EXPECT_EQ(r._bThes, c.thes) << c.name;
        EXPECT_EQ(r._bCount, c.count) << c.name;
        EXPECT_EQ(r._errCode, c.err) << c.name;
    }
}

TEST(YmSrchReqMsg, DecodesFlagsAndMissingFields) {
    YmSrchReqMsg r;
    r.readIn(nul("db\fqq\f \f5\f7\f-3\f42\f9\f").c_str());
    EXPECT_EQ(r._bNarrow, 1);
    EXPECT_EQ(r._bThes, 1);
    EXPECT_EQ(r._bCount, 1);
    EXPECT_EQ(r._errCode, 0);

    r.readIn("dbs", 3);  // no separator, no NUL
    EXPECT_EQ(str(r._srchDBs), "dbs");
    EXPECT_EQ(r._near, 0u);
    EXPECT_EQ(r._bCount, 0);

    r.setQuery("old");
    r.readIn(nullptr);
    EXPECT_EQ(str(r._query), "");
}

// Records as the server writes them.
std::string record(int n, const std::vector<std::pair<int, std::string>>& fields) {
    std::string r = kMark + "299\n" + std::to_string(n) + "\n";
    for (const auto& f : fields) r += std::to_string(f.first) + "\n" + f.second + "\n";
    return r + "256\n";
}

std::string titlesText(const std::vector<std::string>& titles) {
    std::string t;
    for (const auto& s : titles) t += kMark + s;
    return t;
}

// Four hits whose fields order differently under every key.
struct Hits {
    std::string records, titles, offsets;
    Hits() {
        records =
            record(0, {{111, "manuals 7"},
                       {31, "19960115"},
                       {99, "9"},
                       {112, "3"},
                       {114, "100"},
                       {255, "70"},
                       {100, "/kb/man/a.txt"}}) +
            record(1, {{111, "docs 2"},
                       {31, "19940101"},
                       {99, "10"},
                       {112, "1"},
                       {114, "20"},
                       {255, "90"}}) +
            record(2, {{111, "docs 10"},
                       {31, "19990301"},
                       {99, "2"},
                       {112, "20"},
                       {114, "3"},
                       {255, "50"}}) +
            record(
                3,
                {{111, "archive 1"}, {31, " "}, {99, "7"}, {112, "5"}, {114, "40"}, {255, "80"}});
        titles = titlesText({"Zebra", "apple", "Mango", "Banana"});
        offsets = "0;5;3\t0;9;4\t\n0;1;2\t\n";  // no lines for hits 2 and 3
    }
};

// A server-side message sent through a local handler, read back by a
// client-side one.
class SrchResult : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = theMPS;
        theMPS = &mps;
        mps.Register(YmMsgType::SrchResult, &capture, this);
        mps.Register(YmMsgType::SrchReq, &capture, this);
    }
    void TearDown() override { theMPS = saved; }

    static int capture(void* self, int flag, char* data, int dlen, char**, int*) {
        auto* t = static_cast<SrchResult*>(self);
        t->flag = flag;
        t->payload.assign(data, size_t(dlen));
        t->sent++;
        return 1;
    }

    void sendAndRead(unsigned int hits, const std::string& records, const std::string& titles,
                     const std::string& offsets, int flag = 0) {
        YmSrchResultMsg s;
        s.setHits(hits);
        s.setResult(records.c_str());
        s.setTitles(titles.c_str());
        s.setOffsets(offsets.c_str());
        s.send(flag);
        EXPECT_EQ(s._hits, 0u);  // send leaves the message cleared
        got.readIn(payload.data(), unsigned(payload.size()), 0);
    }

    std::vector<int> order() {
        std::vector<int> ids;
        for (unsigned int i = 0; i < got._hits; i++) ids.push_back(atoi(got.getField(int(i), 299)));
        return ids;
    }

    MPS mps;
    MPS* saved = nullptr;
    int flag = -1, sent = 0;
    std::string payload;
    YmSrchResultMsg got;
};

TEST_F(SrchResult, EncodesExactBytes) {
    YmSrchResultMsg m;
    m.prepareForSend();
    EXPECT_EQ(wire(m._buf), nul("0\f0\f \f \f \f \f"));

    m.setHits(1);
    m.setErrCode(1);
    m.setSrBkTag("\n\nAdditional Information:\n    FT Error Code = 7");
    const std::string rec = kMark + "299\n0\n256\n";
    m.setResult(rec.c_str());
    m.setTitles((kMark + "T").c_str());
    m.setOffsets("0;0;0\t\n");
    m.send(1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(payload, nul("1\f1\f\n\nAdditional Information:\n    FT Error Code = 7\f" + rec +
                           "\f" + kMark + "T\f0;0;0\t\n\f"));
}

TEST_F(SrchResult, RequestSendsThroughTheService) {
    YmSrchReqMsg r;
    r.setSrchDBs("docs");
    r.setQuery("0\nA\n");
    EXPECT_EQ(r.send(), 0);
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(payload, nul("docs\f0\nA\n\f \f0\f0\f0\f0\f0\f0\f"));

    theMPS = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_LT(r.send(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SRCHREQMSG: Send Communication Error\n");
}

TEST_F(SrchResult, SplitsRecordsTitlesAndOffsets) {
    Hits h;
    sendAndRead(4, h.records, h.titles, h.offsets);
    ASSERT_EQ(got._hits, 4u);
    EXPECT_EQ(got._errCode, 0);
    char** t = got.titles();
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t[0], "Zebra");
    EXPECT_STREQ(t[3], "Banana");

    EXPECT_STREQ(got.get(0),
                 ("110\nZebra\n" + h.records.substr(1, h.records.find(YM_RECORD_MARK, 1) - 1) +
                  "0;5;3\t0;9;4\t\n")
                     .c_str());
    EXPECT_EQ(std::string(got.get(1)).substr(0, 18), "110\napple\n299\n1\n11");
    EXPECT_EQ(std::string(got.get(1)).substr(std::string(got.get(1)).size() - 11),
              "256\n0;1;2\t\n");
    EXPECT_EQ(std::string(got.get(3)).substr(std::string(got.get(3)).size() - 10), "256\n0;0;0\n");
    EXPECT_STREQ(got.get(4), "");
    EXPECT_STREQ(got.get(-1), "");

    struct Case {
        int id, fld;
        const char* value;
    } cases[] = {
        {0, 110, "Zebra"},
        {2, 110, "Mango"},
        {0, 31, "19960115"},
        {3, 31, " "},
        {0, 100, "/kb/man/a.txt"},
        {1, 100, ""},
        {0, 299, "0"},
        {3, 256, ""},
        {9, 31, ""},
        {-1, 110, ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(got.getField(c.id, c.fld), c.value) << c.id << " " << c.fld;

    EXPECT_EQ(str(got.getField(YmStr("299\n2\n31\n19990301\n256\n"), 110)), "Mango");
    EXPECT_EQ(str(got.getField(YmStr("299\n7\n256\n"), 110)), "");  // no such record number
    EXPECT_EQ(str(got.getField(YmStr("299\n2\n"), 31)), "");
}

TEST_F(SrchResult, TrustsOnlyWhatArrived) {
    Hits h;
    struct Case {
        const char* name;
        unsigned int hits;
        std::string records, titles;
        unsigned int expect;
    } cases[] = {
        {"fewer titles than hits", 4, h.records, titlesText({"A", "B"}), 2},
        {"no titles", 4, h.records, "", 0},
        {"a count far above the records", 1000000, h.records, h.titles, 4},
        {"more records than the count", 1, h.records, h.titles, 1},
    };
    for (const Case& c : cases) {
        sendAndRead(c.hits, c.records, c.titles, h.offsets);
        EXPECT_EQ(got._hits, c.expect) << c.name;
        EXPECT_EQ(got.titles() == nullptr, c.expect == 0) << c.name;
        if (c.expect) {
            EXPECT_EQ(std::string(got.get(0)).find(YM_RECORD_MARK), std::string::npos) << c.name;
        }
        EXPECT_STREQ(got.get(int(c.expect)), "") << c.name;
    }
}

TEST_F(SrchResult, CountOnlyReadsTheNumbers) {
    Hits h;
    sendAndRead(4, h.records, h.titles, h.offsets);
    got.readIn(nul("120\f1\f").c_str(), 1);
    EXPECT_EQ(got._hits, 120u);
    EXPECT_EQ(got._errCode, 1);
    EXPECT_STREQ(got.getField(0, 110), "Zebra");
}

TEST_F(SrchResult, SortsByEveryKey) {
    Hits h;
    sendAndRead(4, h.records, h.titles, h.offsets);
    struct Case {
        int key;
        YmBool asc;
        std::vector<int> order;
    } cases[] = {
        {1, 1, {3, 2, 1, 0}},   {1, 0, {0, 1, 2, 3}},   // database and number, as text
        {2, 1, {3, 1, 0, 2}},   {2, 0, {2, 0, 1, 3}},   // date; the empty one first
        {3, 1, {3, 2, 0, 1}},   {3, 0, {3, 2, 0, 1}},   // title, always ascending
        {99, 1, {2, 3, 0, 1}},  {99, 0, {1, 0, 3, 2}},  // numbers, not text
        {112, 1, {1, 0, 3, 2}}, {112, 0, {2, 3, 0, 1}}, {114, 1, {2, 1, 3, 0}},
        {114, 0, {0, 3, 1, 2}}, {255, 0, {0, 1, 2, 3}}, {0, 0, {0, 1, 2, 3}},  // arrival order
    };
    const char* titles[] = {"Zebra", "apple", "Mango", "Banana"};
    for (const Case& c : cases) {
        got.sort(2, 0);  // start from another order each time
        got.sort(c.key, c.asc);
        EXPECT_EQ(order(), c.order) << c.key << " " << int(c.asc);
        for (unsigned int i = 0; i < got._hits; i++) {
            EXPECT_STREQ(got.titles()[i], titles[c.order[i]]) << c.key;
            EXPECT_EQ(std::string(got.get(int(i))).substr(0, 5 + strlen(titles[c.order[i]])),
                      std::string("110\n") + titles[c.order[i]] + "\n");
        }
    }
}

}  // namespace
