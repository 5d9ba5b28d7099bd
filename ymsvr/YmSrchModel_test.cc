// The search service end to end: databases built with ftindex from small
// folders of real text files, the real server on a loopback port, and search
// answers checked record by record: fields, titles, offsets that point at
// the matched words, batches, several databases, errors, cancel, a kill
// signal during a search, restart and a rebuilt database. The size limit of
// an answer is checked on the model in this process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "YmFtApi.h"
#include "YmLimits.h"
#include "YmMsgTypes.h"
#include "YmPlatform.h"
#include "YmServerFixture.h"
#include "YmSrchModel.h"
#include "YmSrchMsg.h"
#include "YmTestDatabase.h"

namespace {

std::string str(const YmStr& s) {
    return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Options {
    unsigned int maxHits = 0;
    bool count = false;
    unsigned int near = 10;
};

// One search answer: the frame flag and the decoded result.
struct Answer {
    int type = 0;
    int flag = -1;
    std::unique_ptr<YmSrchResultMsg> msg{new YmSrchResultMsg};
    std::string payload;
};

std::string requestPayload(const std::string& dbs, const std::string& query, const Options& o) {
    YmSrchReqMsg req;
    req.setSrchDBs(dbs.c_str());
    req.setQuery(query.c_str());
    req.setMaxHits(o.maxHits);
    req.setCount(o.count);
    req.setNear(o.near);
    req.prepareForSend();
    return std::string(reinterpret_cast<const char*>(req._buf.data), req._buf.slength);
}

// Sends a 301 (query: field-0 text unless it already holds its field line)
// and reads the answer.
Answer search(YmClient& c, const std::string& dbs, const std::string& text, Options o = Options()) {
    Answer a;
    std::string query = text.find('\n') == std::string::npos ? "0\n" + text + "\n" : text;
    if (!c.send(YmMsgType::SrchReq, 0, requestPayload(dbs, query, o))) return a;
    YmFrame f;
    if (!c.recv(&f, 60000)) return a;
    a.type = f.type;
    a.flag = f.flag;
    a.payload = f.payload;
    a.msg->readIn(f.payload.data(), unsigned(f.payload.size()), 0);
    return a;
}

// The offsets line of record n (by its number).
std::string offsetsLine(const YmSrchResultMsg& m, unsigned int n) {
    std::istringstream in(str(m._offsets));
    std::string line;
    for (unsigned int i = 0; i <= n && std::getline(in, line);) i++;
    return line;
}

// The (start, length) entries of an offsets line.
std::vector<std::pair<long, long>> marks(const std::string& line) {
    std::vector<std::pair<long, long>> out;
    std::istringstream in(line);
    std::string e;
    while (std::getline(in, e, '\t')) {
        long zero, start, len;
        if (sscanf(e.c_str(), "%ld;%ld;%ld", &zero, &start, &len) == 3) out.push_back({start, len});
    }
    return out;
}

// The text at a search-side mark: start counts visible characters (bytes 33
// to 126) from 0.
std::string textAt(const std::string& doc, std::pair<long, long> m) {
    long visible = -1;
    for (size_t i = 0; i < doc.size(); i++) {
        unsigned char c = static_cast<unsigned char>(doc[i]);
        if (c >= 33 && c <= 126 && ++visible == m.first) return doc.substr(i, size_t(m.second));
    }
    return "<nowhere>";
}

std::string upper(std::string s) {
    for (char& c : s) c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

// Whether the connection process runs a search: it catches SIGIO only then.
bool searching(pid_t pid) {
    std::string st = readFile("/proc/" + std::to_string(pid) + "/status");
    size_t at = st.find("\nSigCgt:");
    if (at == std::string::npos) return false;
    unsigned long long caught = strtoull(st.c_str() + at + 8, nullptr, 16);
    return (caught >> (SIGIO - 1)) & 1;
}

// Whether the connection process sits in the engine's pause between two
// slices of a search: asleep in one of the sleep calls of this machine, or,
// when its call is not one known here, asleep at all (nothing else of a
// running search sleeps).
bool inSearchPause(pid_t pid) {
    if (!searching(pid)) return false;
    long nr = -1;
    if (sscanf(readFile("/proc/" + std::to_string(pid) + "/syscall").c_str(), "%ld", &nr) == 1) {
#ifdef SYS_clock_nanosleep
        if (nr == SYS_clock_nanosleep) return true;
#endif
#ifdef SYS_nanosleep
        if (nr == SYS_nanosleep) return true;
#endif
    }
    return ymProcState(pid) == 'S';
}

// ftindex with a catalogue of titles and owners (tab-separated, first line
// the column names).
bool indexWithCatalogue(const YmTempDir& data, const std::string& name, const std::string& catalogue) {
    data.write(name + ".catalogue", catalogue);
    const char* bin = getenv("YM_BIN_DIR");
    std::string cmd = ymShellQuote(std::string(bin ? bin : ".") + "/ftindex") + " -q -s " +
                      ymShellQuote(data.path()) + " -n " + ymShellQuote(name) + " -d " +
                      ymShellQuote(data.file(name)) + " -c " +
                      ymShellQuote(data.file(name + ".catalogue"));
    int st = system(cmd.c_str());
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// The bytes of the first n records, titles or offsets lines of a text.
size_t prefixBytes(const std::string& t, char sep, bool endsWithSep, unsigned int n) {
    size_t at = 0;
    for (unsigned int k = 0; k < n; k++) {
        size_t next = t.find(sep, at + (endsWithSep ? 0 : 1));
        if (next == std::string::npos) return t.size();
        at = endsWithSep ? next + 1 : next;
    }
    return at;
}

class Search : public ::testing::Test {
  protected:
    void SetUp() override {
        root.mkdir("usr/tmp");
        data.write("manuals/fox.txt",
                   "The Fox Story\n\nThe quick brown fox jumps over the lazy dog.\n"
                   "A fox is a small animal;\tfoxes live in dens.\n");
        data.write("manuals/dog.txt", "Dogs and Wolves\n\nThe lazy dog sleeps all day.\n");
        data.write("manuals/sub/colour.txt", "Colour Notes\n\nColour and color: two spellings.\n");
        data.write("notes/meeting.txt", "Meeting Notes\n\nThe fox was discussed at the meeting.\n");
        ASSERT_TRUE(ymIndexDatabase(data.path(), "manuals", data.file("manuals")));
        ASSERT_TRUE(ymIndexDatabase(data.path(), "notes", data.file("notes")));
    }
    void start() {
        ASSERT_TRUE(srv.start({"FULSEARCH=" + data.path(), "FULPATH", "YM_ROOT=" + root.path()}))
            << srv.log();
        ASSERT_TRUE(c.connect(srv));
    }
    // The path field 100 must start with: the documents folder.
    std::string docs(const char* db) const { return data.file(db) + "/"; }

    YmTempDir data, root;
    YmServer srv;
    YmClient c;
};

TEST_F(Search, HitsCarryRecordsTitlesAndOffsetsOfTheMatchedWords) {
    start();
    Answer a = search(c, "manuals", "fox | dog");
    ASSERT_EQ(a.type, YmMsgType::SrchResult);
    EXPECT_EQ(a.flag, 0);
    YmSrchResultMsg& m = *a.msg;
    EXPECT_EQ(m._errCode, 0);
    EXPECT_EQ(str(m._srBkTag), "");
    ASSERT_EQ(m._hits, 2u);

    std::vector<std::string> titles;
    for (unsigned int i = 0; i < m._hits; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::string(m.getField(int(i), 299)), std::to_string(i));
        std::string file = m.getField(int(i), 100);
        ASSERT_EQ(file.compare(0, docs("manuals").size(), docs("manuals")), 0) << file;
        std::string doc = readFile(file);
        ASSERT_FALSE(doc.empty()) << file;
        titles.push_back(m.getField(int(i), 110));
        EXPECT_EQ(titles.back(), doc.substr(0, doc.find('\n')));
        EXPECT_EQ(std::string(m.getField(int(i), 111)).compare(0, 8, "manuals "), 0);
        EXPECT_EQ(std::string(m.getField(int(i), 99)), "1");  // plain text
        EXPECT_GT(atol(m.getField(int(i), 255)), 0);
        EXPECT_EQ(std::string(m.getField(int(i), 110 + 1000)), "");  // no such field

        // Each mark covers a matched word of the displayed text.
        std::vector<std::pair<long, long>> ms = marks(offsetsLine(m, i));
        ASSERT_FALSE(ms.empty());
        for (const auto& mk : ms) {
            std::string w = upper(textAt(doc, mk));
            EXPECT_TRUE(w == "FOX" || w == "DOG") << w << " at " << mk.first;
        }
    }
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"Dogs and Wolves", "The Fox Story"}));

    // The fox document: every occurrence, the title line's too (foxes is
    // another word), in order, after a tab as well.
    for (unsigned int i = 0; i < m._hits; i++) {
        if (std::string(m.getField(int(i), 110)) != "The Fox Story") continue;
        std::vector<std::pair<long, long>> ms = marks(offsetsLine(m, i));
        std::vector<std::string> words;
        std::string doc = readFile(m.getField(int(i), 100));
        for (const auto& mk : ms) words.push_back(upper(textAt(doc, mk)));
        EXPECT_EQ(words, (std::vector<std::string>{"FOX", "FOX", "DOG", "FOX"}));
    }
    // The raw record form: mark, 299, number, fields, 256; 255 for the
    // score and no title inside.
    const std::string& raw = a.payload;
    EXPECT_NE(raw.find("\x01"
                       "299\n0\n111\nmanuals "),
              std::string::npos);
    EXPECT_NE(raw.find("\n255\n"), std::string::npos);
    EXPECT_EQ(raw.find("\n65011\n"), std::string::npos);
    EXPECT_EQ(raw.find("\n110\n"), std::string::npos);
    EXPECT_NE(raw.find("\n256\n\x01"
                       "299\n1\n"),
              std::string::npos);
}

TEST_F(Search, CountOnlyGivesTheNumberAndNoTexts) {
    start();
    Options o;
    o.count = true;
    Answer a = search(c, "manuals\nnotes", "fox | dog", o);
    ASSERT_EQ(a.type, YmMsgType::SrchResult);
    EXPECT_EQ(a.msg->_errCode, 0);
    // The count is read without texts: readIn(.., count) leaves the rest.
    YmSrchResultMsg counted;
    counted.readIn(a.payload.data(), unsigned(a.payload.size()), 1);
    EXPECT_EQ(counted._hits, 3u);
    EXPECT_EQ(a.payload, std::string("3\f0\f \f \f \f \f") + '\0');
}

TEST_F(Search, MoreThanOneBatchIsNumberedConsecutively) {
    for (int i = 0; i < 230; i++)
        data.write("many/doc" + std::to_string(i) + ".txt",
                   "Paper " + std::to_string(i) + "\n\nThe common word stands here once.\n");
    ASSERT_TRUE(ymIndexDatabase(data.path(), "many", data.file("many")));
    start();
    Answer a = search(c, "many", "common");
    YmSrchResultMsg& m = *a.msg;
    ASSERT_EQ(m._errCode, 0);
    ASSERT_EQ(m._hits, 230u);
    std::vector<std::string> titles;
    for (unsigned int i = 0; i < m._hits; i++) {
        ASSERT_EQ(std::string(m.getField(int(i), 299)), std::to_string(i));
        std::string file = m.getField(int(i), 100);
        titles.push_back(m.getField(int(i), 110));
        // Title and file belong to the same document.
        std::string n = file.substr(file.rfind("doc") + 3);
        EXPECT_EQ(titles.back(), "Paper " + n.substr(0, n.find('.')));
        std::vector<std::pair<long, long>> ms = marks(offsetsLine(m, i));
        ASSERT_EQ(ms.size(), 1u) << i;
        EXPECT_EQ(textAt(readFile(file), ms[0]), "common") << i;
    }
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(std::unique(titles.begin(), titles.end()), titles.end());

    // The maximum asked for bounds the list.
    Options o;
    o.maxHits = 120;
    EXPECT_EQ(search(c, "many", "common", o).msg->_hits, 120u);
}

TEST_F(Search, SeveralDatabasesInOneSearch) {
    start();
    Answer a = search(c, "manuals\nnotes\nmanuals", "fox");
    YmSrchResultMsg& m = *a.msg;
    ASSERT_EQ(m._errCode, 0);
    ASSERT_EQ(m._hits, 2u);  // a database named twice is searched once
    std::vector<std::string> seen;
    for (unsigned int i = 0; i < m._hits; i++) {
        std::string db = m.getField(int(i), 111);
        db = db.substr(0, db.find(' '));
        seen.push_back(db);
        std::string file = m.getField(int(i), 100);
        EXPECT_EQ(file.compare(0, docs(db.c_str()).size(), docs(db.c_str())), 0) << file;
        EXPECT_FALSE(readFile(file).empty());
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"manuals", "notes"}));
}

TEST_F(Search, FailuresAnswerErrorCodeOne) {
    start();
    struct Case {
        const char* name;
        std::string dbs, query;
        const char* info;  // the additional information text
    } cases[] = {
        {"syntax error", "manuals", "(fox", ""},
        {"NEAR typed by the user", "manuals", "fox NEAR dog", ""},
        {"unknown database", "nosuch", "fox", ""},
        {"no database named", "", "fox", ""},
        {"a field the engine cannot search", "manuals", "4711\nfox\n",
         "\n\nAdditional Information:\n    FT Error Code = 8"},
        // An earlier engine failure is not reported again.
        {"syntax error after an engine failure", "manuals", "fox &", ""},
        {"a good search still works", "manuals", "dog", nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Answer a = search(c, k.dbs, k.query);
        ASSERT_EQ(a.type, YmMsgType::SrchResult);
        EXPECT_EQ(a.flag, 0);
        if (!k.info) {
            EXPECT_EQ(a.msg->_errCode, 0);
            EXPECT_EQ(a.msg->_hits, 2u);
            continue;
        }
        EXPECT_EQ(a.msg->_errCode, 1);
        EXPECT_EQ(a.msg->_hits, 0u);
        EXPECT_EQ(str(a.msg->_srBkTag), k.info);
        EXPECT_EQ(str(a.msg->_result), "");
    }
}

TEST_F(Search, DataFromTheClientCancelsARunningSearch) {
    // Enough words and documents that a search over every word takes many
    // slices of the engine (a count alone is one step: ask for a hit).
    std::string words;
    const char* syll[] = {"ka",  "to",  "mi",  "ra",  "sen", "lo",
                          "dur", "vex", "pan", "qui", "zo",  "bel"};
    unsigned seed = 7;
    for (int d = 0; d < 800; d++) {
        std::string text = "Doc " + std::to_string(d) + "\n";
        for (int w = 0; w < 200; w++) {
            for (int s = 0; s < 3; s++) {
                seed = seed * 1103515245u + 12345u;
                text += syll[(seed >> 16) % 12];
            }
            text += ' ';
        }
        data.write("big/d" + std::to_string(d) + ".txt", text + "\n");
    }
    ASSERT_TRUE(ymIndexDatabase(data.path(), "big", data.file("big")));
    start();
    std::string query;
    for (const char* s : syll) query += std::string(query.empty() ? "" : " | ") + s + "*";
    Options one;
    one.maxHits = 1;

    // The cancel has to arrive while the search runs: wait until the
    // process pauses between two slices, then send. A search that ends
    // before the cancel arrives is tried again.
    bool cancelled = false;
    for (int attempt = 0; attempt < 20 && !cancelled; attempt++) {
        ASSERT_TRUE(
            c.send(YmMsgType::SrchReq, 0, requestPayload("big", "0\n" + query + "\n", one)));
        bool sent = false;
        struct pollfd answer = {c.fd(), POLLIN, 0};
        for (int i = 0; i < 200000 && !sent && poll(&answer, 1, 0) == 0; i++)
            if (inSearchPause(c.pid())) sent = c.send(YmMsgType::SrchCancel, 0, "");
        YmFrame f;
        ASSERT_TRUE(c.recv(&f, 60000));
        ASSERT_EQ(f.type, YmMsgType::SrchResult);
        YmSrchResultMsg m;
        m.readIn(f.payload.data(), unsigned(f.payload.size()), 0);
        if (f.flag == 1) {
            cancelled = true;
            // Cancelled while waiting for the engine, or (when the last pause
            // was caught) while reading the hits: then no texts.
            if (m._errCode == 1)
                EXPECT_EQ(m._hits, 0u);
            else
                EXPECT_EQ(str(m._result), "");
        } else {
            EXPECT_EQ(m._errCode, 0);
            EXPECT_EQ(m._hits, 1u);
        }
    }
    EXPECT_TRUE(cancelled);
    // The connection goes on: the 302 read afterwards answers nothing, and
    // the next search runs to its end.
    Answer a = search(c, "big", query, one);
    EXPECT_EQ(a.flag, 0);
    EXPECT_EQ(a.msg->_hits, 1u);
}

TEST_F(Search, RestartFindsADatabaseAddedAfterStartUp) {
    start();
    EXPECT_EQ(search(c, "late", "owl").msg->_errCode, 1);
    data.write("late/owl.txt", "Owls\n\nThe owl hunts at night.\n");
    ASSERT_TRUE(ymIndexDatabase(data.path(), "late", data.file("late")));
    ASSERT_TRUE(c.send(YmMsgType::SrchRestart, 0, ""));
    // No answer to the restart: the next frame is the echo of an unknown
    // type.
    ASSERT_TRUE(c.send(999, 0, "x"));
    YmFrame f;
    ASSERT_TRUE(c.recv(&f));
    EXPECT_EQ(f.type, 999);
    Answer a = search(c, "late\nmanuals", "owl | fox");
    ASSERT_EQ(a.msg->_errCode, 0);
    EXPECT_EQ(a.msg->_hits, 2u);
    // A fresh connection sees it too.
    YmClient other;
    ASSERT_TRUE(other.connect(srv));
    EXPECT_EQ(search(other, "late", "owl").msg->_hits, 1u);
}

TEST_F(Search, ADatabaseRebuiltBetweenTwoSearchesIsReopened) {
    start();
    EXPECT_EQ(search(c, "notes", "budget").msg->_hits, 0u);
    // Built anew from scratch: a new index file replaces the one the
    // connection has open.
    data.write("notes/budget.txt", "Budget\n\nThe budget was approved.\n");
    ASSERT_EQ(unlink(data.file("manuals.ftdb").c_str()), 0);
    ASSERT_EQ(unlink(data.file("notes.ftdb").c_str()), 0);
    ASSERT_TRUE(ymIndexDatabase(data.path(), "notes", data.file("notes")));
    Answer a = search(c, "notes", "budget | fox");
    ASSERT_EQ(a.msg->_errCode, 0);
    EXPECT_EQ(a.msg->_hits, 2u);
    // A database whose index is gone fails alone.
    EXPECT_EQ(search(c, "manuals", "fox").msg->_errCode, 1);
    EXPECT_EQ(search(c, "manuals\nnotes", "fox").msg->_hits, 1u);
}

TEST_F(Search, LongTitlesAndBytesThatWouldBreakTheTextsArriveWhole) {
    // Longer than the 1,024 bytes of work area per hit that the hits are
    // first fetched into, so the hit is fetched again with more room.
    std::string title = "Long\fTitle\x01";
    for (int i = 0; title.size() < 5000; i++) title += "word" + std::to_string(i) + " ";
    data.write("odd/long.txt", "Untitled\n\nThe zebra grazes.\n");
    data.write("odd/line\nbreak.txt", "Line Break\n\nAnother zebra.\n");
    ASSERT_TRUE(indexWithCatalogue(data, "odd",
                                   "file\ttitle\towner\nlong.txt\t" + title + "\tow\fn\x01" "er\n"));
    start();
    Answer a = search(c, "odd", "zebra");
    YmSrchResultMsg& m = *a.msg;
    ASSERT_EQ(m._errCode, 0);
    ASSERT_EQ(m._hits, 2u);
    std::string blanked = title;
    std::replace(blanked.begin(), blanked.end(), '\f', ' ');
    std::replace(blanked.begin(), blanked.end(), '\x01', ' ');
    std::vector<std::string> files, titles, owners;
    for (int i = 0; i < 2; i++) {
        files.push_back(m.getField(i, 100));
        titles.push_back(m.getField(i, 110));
        owners.push_back(m.getField(i, 97));
    }
    int lng = files[0] == docs("odd") + "long.txt" ? 0 : 1;
    EXPECT_EQ(files[lng], docs("odd") + "long.txt");
    EXPECT_EQ(titles[lng], blanked);
    EXPECT_EQ(owners[lng], "ow n er");
    // A line feed would split the record: the file name carries a blank.
    EXPECT_EQ(files[1 - lng], docs("odd") + "line break.txt");
    EXPECT_EQ(titles[1 - lng], "Line Break");
}

// The real server holds its kill signals while it searches; one that comes
// meanwhile ends the search as a cancel does, so that a short answer and the
// server-down notice follow at once, rather than after every hit is read and
// sent. Wanted here: a signal while the hits are read (the engine's search
// of one word is short next to reading thousands of hits), which gives the
// count and no texts. How long after the start of the search to send it is
// narrowed down between a delay that came too early (the search was still
// running) and one that came too late (the whole answer was out).
TEST_F(Search, AKillSignalDuringTheHitReadingEndsTheSearchAtOnce) {
    for (int i = 0; i < 3000; i++)
        data.write("kill/d" + std::to_string(i) + ".txt",
                   "Paper " + std::to_string(i) + "\n\nThe common word stands here once.\n");
    ASSERT_TRUE(ymIndexDatabase(data.path(), "kill", data.file("kill")));
    Options all;
    all.maxHits = 3000;
    bool duringHits = false;
    long early = 0, late = -1, delayUs = 1000;
    for (int attempt = 0; attempt < 30 && !duringHits; attempt++) {
        SCOPED_TRACE(attempt);
        YmServer one;
        ASSERT_TRUE(one.start({"FULSEARCH=" + data.path(), "FULPATH", "YM_ROOT=" + root.path()}))
            << one.log();
        YmClient k;
        ASSERT_TRUE(k.connect(one));
        one.adopt();  // the connection process's status is ours to read
        ASSERT_TRUE(k.send(YmMsgType::SrchReq, 0, requestPayload("kill", "0\ncommon\n", all)));
        struct pollfd answer = {k.fd(), POLLIN, 0};
        for (int i = 0; i < 200000 && !searching(k.pid()) && poll(&answer, 1, 0) == 0; i++) {
        }
        usleep(useconds_t(delayUs));
        ASSERT_EQ(kill(k.pid(), SIGINT), 0);

        YmFrame f;
        ASSERT_TRUE(k.recv(&f, 60000));
        ASSERT_EQ(f.type, YmMsgType::SrchResult);
        YmSrchResultMsg m;
        m.readIn(f.payload.data(), unsigned(f.payload.size()), 0);
        if (f.flag == 1 && m._errCode == 0) {
            duringHits = true;
            EXPECT_EQ(m._hits, 0u);  // counted 3000, but no records to go with them
            EXPECT_EQ(f.payload.substr(0, 7), "3000\f0\f");
            EXPECT_EQ(str(m._result), "");
            EXPECT_EQ(str(m._offsets), "");
        } else if (f.flag == 1) {
            EXPECT_EQ(m._hits, 0u);  // ended while the engine searched
            early = delayUs;
        } else {
            EXPECT_EQ(m._hits, 3000u);  // the signal came after the search
            late = delayUs;
        }
        delayUs = late < 0 ? 2 * delayUs : (early + late) / 2;
        ASSERT_TRUE(k.recv(&f));
        EXPECT_EQ(f.type, YmMsgType::ServerDown);
        EXPECT_TRUE(k.waitClosed());
        int st = 0;
        ASSERT_TRUE(one.waitConnection(k.pid(), &st));
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 1) << st;
    }
    EXPECT_TRUE(duringHits);
}

// The model in this process, with a small text limit: the answer ends with
// the last hit that fits, and its count, records, titles and offsets agree.
TEST_F(Search, AnAnswerHoldsTheHitsThatFitItsTextLimit) {
    for (int i = 0; i < 150; i++)
        data.write("many/doc" + std::to_string(i) + ".txt",
                   "Paper " + std::to_string(i) + "\n\nThe common word stands here once.\n");
    ASSERT_TRUE(ymIndexDatabase(data.path(), "many", data.file("many")));
    unsetenv("FULPATH");
    setenv("FULSEARCH", data.path().c_str(), 1);
    YmSrchModel m;
    m._parser = new YmParser;
    m._parser->init();
    ASSERT_TRUE(m.initFT());
    EXPECT_EQ(m._textLimit, size_t(YM_MAX_SEARCH_TEXTS));
    // The texts as the model wrote them (a client's copy has its marks
    // replaced by the split).
    std::string records, titles, offsets;
    auto answer = [&](size_t limit, YmSrchResultMsg* out) {
        m._textLimit = limit;
        m.initDBlist();
        ASSERT_TRUE(m.search("many", "0\ncommon\n"));
        m.createSRMsg();
        m.close();
        records = str(m._srchResultMsg._result);
        titles = str(m._srchResultMsg._titles);
        offsets = str(m._srchResultMsg._offsets);
        EXPECT_LE(records.size() + titles.size() + offsets.size(), limit);
        m._srchResultMsg.prepareForSend();
        const YmStr& b = m._srchResultMsg._buf;
        out->readIn(reinterpret_cast<const char*>(b.data), b.slength, 0);
    };
    YmSrchResultMsg whole;
    answer(YM_MAX_SEARCH_TEXTS, &whole);
    ASSERT_EQ(whole._hits, 150u);
    const std::string wholeRecords = records, wholeTitles = titles, wholeOffsets = offsets;
    // The bytes of the first k hits (records and titles start with their
    // mark, offsets lines end with a line feed).
    auto bytesOf = [&](unsigned int k) {
        return prefixBytes(wholeRecords, '\x01', false, k) +
               prefixBytes(wholeTitles, '\x01', false, k) +
               prefixBytes(wholeOffsets, '\n', true, k);
    };
    for (unsigned int k : {120u, 37u, 1u, 0u}) {
        for (size_t limit : {bytesOf(k), bytesOf(k + 1) - 1}) {
            SCOPED_TRACE(std::to_string(k) + " hits in " + std::to_string(limit) + " bytes");
            YmSrchResultMsg cut;
            answer(limit, &cut);
            EXPECT_EQ(cut._errCode, 0);
            EXPECT_EQ(m._hits, long(k));
            ASSERT_EQ(cut._hits, k);
            // The same hits as in the whole answer, in the same order.
            for (unsigned int i = 0; i < k; i++) {
                ASSERT_EQ(std::string(cut.get(int(i))), std::string(whole.get(int(i)))) << i;
                EXPECT_EQ(std::string(cut.getField(int(i), 299)), std::to_string(i));
            }
            EXPECT_EQ(std::count(offsets.begin(), offsets.end(), '\n'), long(k));
        }
    }
    m.quit();
    unsetenv("FULSEARCH");
}

TEST(SearchStartUp, NoDatabaseStopsTheServer) {
    YmTempDir data;
    data.write("druskvers", "v\n");
    data.write("empty.cfg", "");  // announces a database without settings
    YmServer probe;
    const std::vector<std::string> port = {"-p", std::to_string(ymFreeLoopbackPort())};
    EXPECT_EQ(probe.runToExit({"FULSEARCH=" + data.path(), "FULPATH"}, port), 1);
    EXPECT_EQ(probe.log(),
              "ymsvr: No Databases Found for \"FULSEARCH\" or Error in Init\nymsvr: \"FULSEARCH\" "
              "used is " +
                  data.path() + "\n\nusage: ymsvr [ -p port ] [ -f FULSEARCH ]\n");
    EXPECT_EQ(probe.runToExit({"FULSEARCH=:;, ", "FULPATH"}, port), 1);
    EXPECT_NE(probe.log().find("\"FULSEARCH\" used is :;, \n"), std::string::npos) << probe.log();
}

}  // namespace
