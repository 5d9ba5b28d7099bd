// The search benchmark: the same queries answered by the server over
// loopback (from sending the search request to the last byte of its answer)
// and straight through the engine's calls in this process (start, slices,
// hit fields in batches of 100, match positions: the work the server asks
// of the engine), side by side in one run, with the ratio of the two.
//
//   search_bench --source DIR --work DIR --ftindex PATH --ymsvr PATH
//                [--reps N] [--reuse 1]
//
// DIR is indexed whole by ftindex into WORK/settings as the database
// "benchdocs" (--reuse 1 keeps an index built by an earlier run). The goal:
// the server takes less than 1.5 times the engine's own time for a search
// that returns 100 hits. The client side writes each request in one piece
// and reads the answer in large pieces, so that what is timed is the
// server's work and the loopback round trip.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "YmFtApi.h"
#include "YmMsgTypes.h"
#include "YmParser.h"
#include "YmPlatform.h"
#include "YmSrchMsg.h"

namespace {

const char* kDb = "benchdocs";

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int run(const std::string& cmd) {
    int st = system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

struct Query {
    const char* name;
    const char* text;  // the users' query language, field 0
    unsigned int maxHits;
    bool count;
};

// ---- the engine, driven as the server drives it ----

struct Engine {
    FTBH base = 0;
    long offset = 0;

    // Returns the hits read; marks counts the match positions.
    long search(const std::string& qry, const Query& q, long* marks) {
        FTSH sh = nullptr;
        FTBH vec[1] = {base};
        if (ftshstrt(ftapih, vec, 1, long(q.maxHits), q.count ? 1032 : 8, qry.c_str(), 0, 0, &sh) <
                0 ||
            !sh) {
            fprintf(stderr, "search_bench: the engine refused %s (%d)\n", q.text, ftegerr(ftapih));
            exit(1);
        }
        _FTSDATA sd;
        int rc;
        while ((rc = ftshresm(ftapih, sh, 1000, 0, &sd)) == 0)
            if (sd.sflags & FTSF_WAIT) ftusleep(ftapih, 1000);
        long hits = 0;
        if (q.count) {
            hits = sd.sndocs;
        } else {
            ftshgi(ftapih, sh, FTSI_HITS, &hits);
            static const int kFields[] = {110, 111, 27, 65011, 31, 97, 99, 100, 112, 113};
            _FTCFLDS asked[10];
            for (int f = 0; f < 10; f++) asked[f] = _FTCFLDS{kFields[f], 0, 0, nullptr};
            std::vector<char> buf(1024 * 100);
            _FTCINFO info[100];
            for (long i = 0; i < hits;) {
                info[0] = _FTCINFO{0, 10, asked, nullptr};
                long n = std::min(100L, hits - i);
                if (ftshcfld(ftapih, sh, i, info, 0, buf.data(), long(buf.size()), 1, &n) != 0 ||
                    n <= 0)
                    break;
                for (long j = 0; j < n; j++) {
                    int nm;
                    if (!ftshgf(ftapih, sh, i + j, &nm)) continue;
                    FTVCC end, start;
                    while ((start = ftshrd(ftapih, sh, &end)) != FTVCC_END && start > 0) (*marks)++;
                }
                i += n;
            }
        }
        ftshcl(ftapih, sh, 0);
        return hits;
    }
};

// ---- the server ----

pid_t startServer(const std::string& ymsvr, const std::string& settings, int port) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("FULSEARCH", settings.c_str(), 1);
        std::string p = std::to_string(port);
        execl(ymsvr.c_str(), "ymsvr", "-p", p.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// One request over the connection and its whole answer. The frame is
// written in one piece and read in large pieces, so that the client's own
// reading does not weigh on what is measured; the hits come from the
// answer's count.
bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

bool readAll(int fd, char* p, size_t n) {
    while (n > 0) {
        ssize_t r = recv(fd, p, n, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

int be32(const unsigned char* p) {
    return int(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
}

std::string frame(int type, const YmStr& payload) {
    unsigned char h[12] = {0};
    uint32_t t = htonl(uint32_t(type)), l = htonl(payload.slength);
    memcpy(h, &t, 4);
    memcpy(h + 8, &l, 4);
    return std::string(reinterpret_cast<char*>(h), 12) +
           std::string(reinterpret_cast<const char*>(payload.data), payload.slength);
}

long serverSearch(int fd, const Query& q, long* bytes, std::vector<char>* answer) {
    YmSrchReqMsg req;
    req.setSrchDBs(kDb);
    std::string text = std::string("0\n") + q.text + "\n";
    req.setQuery(text.c_str());
    req.setMaxHits(q.maxHits);
    req.setNear(10);
    req.setCount(q.count);
    req.prepareForSend();
    std::string out = frame(YmMsgType::SrchReq, req._buf);
    unsigned char h[12];
    if (!writeAll(fd, out.data(), out.size()) || !readAll(fd, reinterpret_cast<char*>(h), 12) ||
        be32(h) != YmMsgType::SrchResult || be32(h + 8) < 0) {
        fprintf(stderr, "search_bench: no answer from the server for %s\n", q.text);
        exit(1);
    }
    size_t n = size_t(be32(h + 8));
    answer->resize(n + 1);
    if (!readAll(fd, answer->data(), n)) {
        fprintf(stderr, "search_bench: the answer for %s was cut\n", q.text);
        exit(1);
    }
    (*answer)[n] = '\0';
    YmSrchResultMsg res;
    res.readIn(answer->data(), unsigned(n), 1);
    if (res._errCode != 0) {
        fprintf(stderr, "search_bench: the server failed %s\n", q.text);
        exit(1);
    }
    *bytes = long(n);
    return long(res._hits);
}

// A connection to the server on port, or -1.
int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd;
    }
    close(fd);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string source, work, ftindex, ymsvr;
    int reps = 20;
    bool reuse = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--source")
            source = argv[i + 1];
        else if (a == "--work")
            work = argv[i + 1];
        else if (a == "--ftindex")
            ftindex = argv[i + 1];
        else if (a == "--ymsvr")
            ymsvr = argv[i + 1];
        else if (a == "--reps")
            reps = std::max(1, atoi(argv[i + 1]));
        else if (a == "--reuse")
            reuse = atoi(argv[i + 1]) != 0;
    }
    if (source.empty() || work.empty() || ftindex.empty() || ymsvr.empty()) {
        fprintf(stderr,
                "usage: search_bench --source DIR --work DIR --ftindex PATH --ymsvr PATH [--reps "
                "N] [--reuse 1]\n");
        return 2;
    }
    ymPlatformInit();
    std::string settings = work + "/settings";
    struct stat st;
    if (!reuse || stat((settings + "/" + kDb + ".cfg").c_str(), &st) != 0) {
        run("rm -rf " + ymShellQuote(settings) + " && mkdir -p " + ymShellQuote(settings));
        fprintf(stderr, "search_bench: indexing %s\n", source.c_str());
        if (run(ymShellQuote(ftindex) + " -q -s " + ymShellQuote(settings) + " -n " + kDb + " -d " +
                ymShellQuote(source)) != 0) {
            fprintf(stderr, "search_bench: ftindex failed\n");
            return 1;
        }
    }
    setenv("FULSEARCH", settings.c_str(), 1);

    // The engine in this process.
    long opts[3] = {4, 0, -1};
    if (ftapiini(nullptr, nullptr, opts, 3, &ftapih) != 0) return 1;
    Engine eng;
    eng.base = ftbxop(ftapih, kDb, "r");
    if (!eng.base) {
        fprintf(stderr, "search_bench: cannot open %s (%d)\n", kDb, ftegerr(ftapih));
        return 1;
    }
    long docs = 0;
    ftbhgi(ftapih, eng.base, FTBI_DOCS, &docs);
    YmParser parser;
    parser.init();
    parser.setThes("druskthes.fth");
    parser.setNearDistance(10);

    // The server, on a port nobody uses, and one connection to it.
    int fd = -1;
    pid_t srv = -1;
    for (int attempt = 0; attempt < 20 && fd < 0; attempt++) {
        int port = 20000 + int((getpid() * 7919 + attempt * 104729) % 30000);
        srv = startServer(ymsvr, settings, port);
        for (int i = 0; i < 500 && fd < 0; i++) {
            int status;
            if (waitpid(srv, &status, WNOHANG) == srv) break;  // the port was taken
            fd = connectTo(port);
            if (fd < 0) usleep(20000);
        }
        if (fd < 0) {
            kill(srv, SIGKILL);
            waitpid(srv, nullptr, 0);
        }
    }
    if (fd < 0) {
        fprintf(stderr, "search_bench: the server did not start\n");
        return 1;
    }
    std::vector<char> answer;

    const Query queries[] = {
        {"one word, max 100", "memory", 100, false},
        {"two words, max 100", "memory barrier", 100, false},
        {"either word, max 100", "mutex | spinlock", 100, false},
        {"phrase, max 100", "\"page table\"", 100, false},
        {"near, max 100", "[lock free]", 100, false},
        {"wildcard, max 100", "sched*", 100, false},
        {"one word, max 1000", "device", 1000, false},
        {"count only", "kernel", 0, true},
    };
    printf("Search benchmark: %ld documents, %d repetitions a query (medians)\n\n", docs, reps);
    printf("%-24s %7s %9s %12s %12s %8s\n", "", "hits", "bytes", "engine ms", "server ms", "ratio");
    double worst100 = 0;
    for (const Query& q : queries) {
        std::string text = std::string("0\n") + q.text + "\n";
        parser.useThes(0);
        if (!parser.parse(text.c_str())) {
            fprintf(stderr, "search_bench: %s does not parse\n", q.text);
            return 1;
        }
        std::string qry(reinterpret_cast<const char*>(parser._qry.data));
        std::vector<double> tEng, tSrv;
        long hitsEng = 0, hitsSrv = 0, marks = 0, bytes = 0;
        // Alternating, so that both see the same state of the page cache.
        for (int r = 0; r < reps + 1; r++) {
            double t0 = nowMs();
            hitsEng = eng.search(qry, q, &marks);
            double t1 = nowMs();
            hitsSrv = serverSearch(fd, q, &bytes, &answer);
            double t2 = nowMs();
            if (r == 0) continue;  // warm-up
            tEng.push_back(t1 - t0);
            tSrv.push_back(t2 - t1);
        }
        double e = median(tEng), s = median(tSrv);
        double ratio = e > 0 ? s / e : 0;
        // The goal is for answers of 100 hits; smaller answers show the
        // fixed cost of a round trip, which weighs more the less there is.
        if (q.maxHits == 100 && hitsSrv == 100) worst100 = std::max(worst100, ratio);
        printf("%-24s %7ld %9ld %12.2f %12.2f %8.2f%s\n", q.name, hitsSrv, bytes, e, s, ratio,
               hitsEng == hitsSrv ? "" : "  (hit counts differ!)");
    }
    printf("\nworst ratio for answers of 100 hits: %.2f (goal: below 1.50) %s\n", worst100,
           worst100 < 1.5 ? "met" : "NOT MET");

    std::string quit = frame(YmMsgType::Quit, YmStr());
    writeAll(fd, quit.data(), quit.size());
    close(fd);
    kill(srv, SIGINT);
    waitpid(srv, nullptr, 0);
    ftbhcl(ftapih, eng.base);
    ftapitrm(ftapih);
    return 0;
}
