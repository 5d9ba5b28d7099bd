// drusk search: sends one search request and prints the answer as a table
// of hits (title, database, date, file), as raw records, or as a count.
//
//   drusk search [-d db]... [-c] [-m max] [-n near] [-t] [-r] [-o key [-z]]
//                [-F field] [-q field:text]... [query words...]
//
// The query words form the text of one query field (0, every word of the
// document, unless -F names another); -q adds more fields, e.g. a date field
// "-q '31:>19950101'". An interrupt while the server searches asks it to
// cancel; a second one ends the program.
#include <getopt.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "YmCliCommands.h"
#include "YmCliSession.h"
#include "YmMsgTypes.h"
#include "YmParser.h"
#include "YmSrchMsg.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data)); }

// ---- the engine's error numbers, for the "Additional Information" ----

const char* engineErrorText(int code) {
    switch (code) {
        case 1:
            return "bad argument, or the search engine is not running";
        case 2:
            return "the server ran out of memory";
        case 3:
            return "no settings for this database";
        case 4:
            return "the database's index cannot be opened";
        case 5:
            return "malformed database name";
        case 6:
            return "the database's settings cannot be read";
        case 7:
            return "malformed query";
        case 8:
            return "a field that cannot be searched";
        case 9:
            return "a database that is not open";
        case 10:
            return "the database's storage failed";
        case 11:
            return "a date that cannot be read";
        case 12:
            return "too many databases or searches open";
        case 46:
            return "the search was lost";
        default:
            return nullptr;
    }
}

void explainFailure(const YmSrchResultMsg& res, const std::string& query,
                    const std::vector<std::string>& dbs) {
    fprintf(stderr, "drusk: the search failed\n");
    std::string info = str(res._srBkTag);
    if (!info.empty()) {
        size_t b = info.find_first_not_of('\n');
        info = b == std::string::npos ? "" : info.substr(b);
        size_t at = info.find("FT Error Code = ");
        const char* words =
            at == std::string::npos ? nullptr : engineErrorText(atoi(info.c_str() + at + 16));
        fprintf(stderr, "%s%s%s%s\n", info.c_str(), words ? " (" : "", words ? words : "",
                words ? ")" : "");
        return;
    }
    // The server does not say what was wrong with a query: the same parser
    // tells it here.
    YmParser p;
    p.init();
    if (!p.parse(query.c_str())) {
        fprintf(stderr, "query error %d: %s\n", p._pError, p.getErrMsg());
        return;
    }
    std::string names;
    for (const std::string& d : dbs) names += (names.empty() ? "" : ", ") + d;
    fprintf(stderr,
            "none of the databases named (%s) can be searched: unknown, unreadable or empty\n",
            names.c_str());
}

// ---- printing ----

std::string dateText(const std::string& d) {
    if (d.size() == 8 && d.find_first_not_of("0123456789") == std::string::npos)
        return d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2);
    return d;
}

// Cut to at most n characters, never inside a UTF-8 sequence.
std::string fit(const std::string& s, size_t n) {
    if (s.size() <= n) return s;
    size_t cut = n - 3;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) cut--;
    return s.substr(0, cut) + "...";
}

void printTable(YmSrchResultMsg& res, FILE* out) {
    struct Row {
        std::string num, title, db, date, file;
    };
    std::vector<Row> rows;
    Row head{"#", "Title", "Database", "Date", "File"};
    size_t w[4] = {head.num.size(), head.title.size(), head.db.size(), head.date.size()};
    for (unsigned int i = 0; i < res._hits; i++) {
        Row r;
        r.num = std::to_string(i + 1);
        r.title = fit(res.getField(int(i), 110), 50);
        std::string code = res.getField(int(i), 111);
        r.db = code.substr(0, code.find(' '));
        r.date = dateText(res.getField(int(i), 31));
        r.file = res.getField(int(i), 100);
        const std::string* cells[4] = {&r.num, &r.title, &r.db, &r.date};
        for (int c = 0; c < 4; c++)
            if (cells[c]->size() > w[c]) w[c] = cells[c]->size();
        rows.push_back(r);
    }
    auto line = [&](const Row& r) {
        fprintf(out, "%*s  %-*s  %-*s  %-*s  %s\n", int(w[0]), r.num.c_str(), int(w[1]),
                r.title.c_str(), int(w[2]), r.db.c_str(), int(w[3]), r.date.c_str(),
                r.file.c_str());
    };
    line(head);
    for (const Row& r : rows) line(r);
}

void printRaw(YmSrchResultMsg& res, FILE* out) {
    for (unsigned int i = 0; i < res._hits; i++)
        fprintf(out, "--- hit %u\n%s", i + 1, res.get(int(i)));
}

}  // namespace

void ymCliSearchUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] search [options] [query words...]\n"
            "  -d db         a database to search (repeat, or separate with commas);\n"
            "                default: the databases of the login's directory trees\n"
            "  -c            count the matching documents only\n"
            "  -m max        most hits to return (default 100)\n"
            "  -n near       word distance of [ ] groups (default 10)\n"
            "  -t            expand query words through the thesaurus\n"
            "  -r            print the raw fields of every hit\n"
            "  -o key        order by score (default), db, date or title; -z: db and\n"
            "                date descending\n"
            "  -F field      the field the query words search (default 0: all text)\n"
            "  -q field:text another query field, e.g. -q '31:>19950101'\n"
            "Query language: a b (both), a | b, a OR b, ^a, NOT a, \"a phrase\", ( ),\n"
            "[a b] (near each other), * and ? in words.\n");
}

int ymCliSearch(YmCliSession& session, int argc, char** argv) {
    std::vector<std::string> dbs;
    std::vector<std::pair<unsigned long, std::string>> fields;
    bool count = false, thes = false, raw = false, reverse = false;
    unsigned long maxHits = 100, nearDist = 10, field = 0;
    int sortKey = 0;
    optind = 0;  // a fresh scan of the command's own arguments
    int c;
    while ((c = getopt(argc, argv, "+d:cm:n:tro:zF:q:")) != -1) {
        switch (c) {
            case 'd':
                ymCliSplitList(optarg, &dbs);
                break;
            case 'c':
                count = true;
                break;
            case 't':
                thes = true;
                break;
            case 'r':
                raw = true;
                break;
            case 'z':
                reverse = true;
                break;
            case 'm':
                if (!ymCliNumberOption('m', optarg, "a number of hits", UINT_MAX, &maxHits))
                    return YM_CLI_USAGE;
                break;
            case 'n':
                if (!ymCliNumberOption('n', optarg, "a number of words", INT_MAX, &nearDist))
                    return YM_CLI_USAGE;
                break;
            case 'o': {
                const char* keys[] = {"score", "db", "date", "title"};
                sortKey = -1;
                for (int k = 0; k < 4; k++)
                    if (strcmp(optarg, keys[k]) == 0) sortKey = k;
                if (sortKey < 0) {
                    fprintf(stderr, "drusk: -o wants score, db, date or title, not %s\n", optarg);
                    return YM_CLI_USAGE;
                }
                break;
            }
            case 'F':
                if (!ymCliNumberOption('F', optarg, "a field number", INT_MAX, &field))
                    return YM_CLI_USAGE;
                break;
            case 'q': {
                const char* colon = strchr(optarg, ':');
                unsigned long f;
                if (!colon ||
                    !ymCliNumber(std::string(optarg, size_t(colon - optarg)).c_str(), INT_MAX,
                                 &f) ||
                    !colon[1]) {
                    fprintf(stderr, "drusk: -q wants field:text, not %s\n", optarg);
                    return YM_CLI_USAGE;
                }
                fields.push_back({f, colon + 1});
                break;
            }
            default:
                ymCliSearchUsage(stderr);
                return YM_CLI_USAGE;
        }
    }
    std::string words;
    for (int i = optind; i < argc; i++) words += std::string(words.empty() ? "" : " ") + argv[i];
    if (!words.empty()) fields.insert(fields.begin(), {field, words});
    if (fields.empty()) {
        fprintf(stderr, "drusk: search: no query given\n");
        ymCliSearchUsage(stderr);
        return YM_CLI_USAGE;
    }
    // The request is lines: field number, text, ...; an empty line ends it.
    std::string query;
    for (const auto& f : fields) {
        if (f.second.find_first_of("\n\f") != std::string::npos) {
            fprintf(stderr, "drusk: a query text cannot hold line or page breaks\n");
            return YM_CLI_USAGE;
        }
        query += std::to_string(f.first) + "\n" + f.second + "\n";
    }
    if (dbs.empty()) dbs = session.treeDatabases();
    if (dbs.empty()) {
        fprintf(stderr, "drusk: search: name a database with -d (the login named none)\n");
        return YM_CLI_USAGE;
    }
    std::string dbList;
    for (const std::string& d : dbs) {
        if (d.find_first_of("\n\f") != std::string::npos) {
            fprintf(stderr, "drusk: a database name cannot hold line or page breaks\n");
            return YM_CLI_USAGE;
        }
        dbList += d + "\n";
    }

    YmSrchReqMsg req;
    req.setSrchDBs(dbList.c_str());
    req.setQuery(query.c_str());
    req.setMaxHits(unsigned(maxHits));
    req.setNear(unsigned(nearDist));
    req.setCount(count);
    req.setThes(thes);
    req.prepareForSend();
    std::string payload(reinterpret_cast<const char*>(req._buf.data), req._buf.slength);

    std::string why;
    YmCliAnswer ans;
    if (!session.sendOnly(YmMsgType::SrchReq, 0, payload, &why)) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    bool got = session.receiveCancellable(YmMsgType::SrchCancel, &ans, &why);
    if (!got) {
        fprintf(stderr, "drusk: %s\n", why.c_str());
        return YM_CLI_NOCONN;
    }
    if (ans.type == YmMsgType::ServerDown) {
        fprintf(stderr, "drusk: the server is going down\n");
        return YM_CLI_NOCONN;
    }
    if (ans.type != YmMsgType::SrchResult) {
        fprintf(stderr, "drusk: the server answered the search with message type %d\n", ans.type);
        return YM_CLI_NOCONN;
    }

    YmSrchResultMsg res;
    res.readIn(ans.payload.data(), unsigned(ans.payload.size()), count);
    if (ans.flag == 1) {
        fprintf(stderr, "drusk: the search was cancelled\n");
        return YM_CLI_FAILED;
    }
    if (res._errCode != 0) {
        // A count-only read leaves the texts out, the server's explanation
        // among them.
        if (count) res.readIn(ans.payload.data(), unsigned(ans.payload.size()), false);
        explainFailure(res, query, dbs);
        return YM_CLI_FAILED;
    }
    if (count) {
        printf("%u document%s match\n", res._hits, res._hits == 1 ? "" : "s");
        return YM_CLI_OK;
    }
    if (sortKey != 0 || reverse) res.sort(sortKey, !reverse);
    if (raw)
        printRaw(res, stdout);
    else if (res._hits)
        printTable(res, stdout);
    printf("%u hit%s\n", res._hits, res._hits == 1 ? "" : "s");
    return YM_CLI_OK;
}
