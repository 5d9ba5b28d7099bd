// Settings, reference and index files; see FtStore.h.
#include "FtStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "ftft.h"

namespace ft {

const int kFormatVersion = 1;

bool validName(const char* name) {
    if (!name || !*name) return false;
    size_t n = 0;
    for (const char* p = name; *p; p++, n++) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                  c == '-';
        if (!ok || n >= 63) return false;
    }
    return true;
}

std::vector<std::string> settingsDirs() {
    std::vector<std::string> out;
    const char* v = getenv("FULSEARCH");
    if (!v) v = getenv("FULPATH");
    if (!v) return out;
    std::string cur;
    for (const char* p = v;; p++) {
        if (*p == '\0' || strchr(",;: ", *p)) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
            if (*p == '\0') break;
        } else {
            cur.push_back(*p);
        }
    }
    return out;
}

namespace {

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string findSettings(const std::string& name) {
    if (!validName(name.c_str())) return "";
    std::string suffix = "." + name + ".cfg";
    for (const std::string& dir : settingsDirs()) {
        std::string p = dir + "/" + name + ".cfg";
        if (isFile(p)) return p;
        // A file X.NAME.cfg announces NAME as well.
        DIR* d = opendir(dir.c_str());
        if (!d) continue;
        std::string found;
        while (struct dirent* e = readdir(d)) {
            std::string f = e->d_name;
            if (f[0] != '.' && f.size() > suffix.size() &&
                f.compare(f.size() - suffix.size(), suffix.size(), suffix) == 0 && isFile(dir + "/" + f)) {
                found = dir + "/" + f;
                break;
            }
        }
        closedir(d);
        if (!found.empty()) return found;
    }
    return "";
}

std::vector<std::string> contentLines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t b = line.find_first_not_of(" \t\r");
        if (b != std::string::npos && line[b] != '#') out.push_back(line);
    }
    return out;
}

std::string settingsValue(const std::string& text, const std::string& key) {
    for (const std::string& line : contentLines(text)) {
        size_t b = line.find_first_not_of(" \t");
        size_t eq = line.find('=', b);
        if (eq == std::string::npos) continue;
        size_t ke = line.find_last_not_of(" \t", eq == 0 ? 0 : eq - 1);
        if (ke == std::string::npos || ke < b) continue;
        if (line.compare(b, ke - b + 1, key) != 0 || ke - b + 1 != key.size()) continue;
        size_t vb = line.find_first_not_of(" \t", eq + 1);
        if (vb == std::string::npos) return "";
        size_t ve = line.find_last_not_of(" \t\r");
        return line.substr(vb, ve - vb + 1);
    }
    return "";
}

bool readFile(const std::string& path, std::string* out, size_t maxLen) {
    out->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        out->reserve(maxLen && size_t(st.st_size) > maxLen ? maxLen : size_t(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return false;
        }
        if (n == 0) break;
        out->append(buf, size_t(n));
        if (maxLen && out->size() >= maxLen) {
            out->resize(maxLen);
            break;
        }
    }
    close(fd);
    return true;
}

bool writeFileAtomic(const std::string& path, const std::string& data) {
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            unlink(tmp.c_str());
            return false;
        }
        done += size_t(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0 || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool touchRef(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st;
    time_t now = time(nullptr);
    time_t t = now;
    if (fstat(fd, &st) == 0 && st.st_size >= 0 && st.st_mtime >= now) t = st.st_mtime + 1;
    struct timespec ts[2];
    ts[0].tv_sec = t;
    ts[0].tv_nsec = 0;
    ts[1] = ts[0];
    bool ok = futimens(fd, ts) == 0;
    close(fd);
    return ok;
}

std::string indexPathOf(const std::string& cfgPath, const std::string& settingsText) {
    std::string idx = settingsValue(settingsText, "IDX");
    if (!idx.empty()) return idx;
    std::string base = cfgPath;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".cfg") == 0) base.resize(base.size() - 4);
    return base + ".ftdb";
}

fts5_api* fts5Api(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &st, nullptr) != SQLITE_OK) return nullptr;
    sqlite3_bind_pointer(st, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(st);
    sqlite3_finalize(st);
    return api;
}

bool exec(sqlite3* db, const char* sql, std::string* why) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        if (why) *why = msg ? msg : sqlite3_errmsg(db);
        sqlite3_free(msg);
        return false;
    }
    return true;
}

int scalar(sqlite3* db, const char* sql, sqlite3_int64* value) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) *value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return rc;
}

sqlite3* openIndex(const std::string& path, bool write, int* err, int* sub) {
    *err = 0;
    *sub = 0;
    struct stat st;
    if (!write && (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
        *err = FTE_OPEN;
        *sub = errno;
        return nullptr;
    }
    sqlite3* db = nullptr;
    int flags = (write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        *err = FTE_OPEN;
        *sub = rc;
        sqlite3_close(db);
        return nullptr;
    }
    // Writers hold the lock only for short transactions; a reader in WAL
    // mode never waits for them.
    sqlite3_busy_timeout(db, write ? 60000 : 5000);
    if (write) exec(db, "PRAGMA journal_mode=WAL");
    sqlite3_int64 version = -1;
    rc = scalar(db, "SELECT value FROM info WHERE key='version'", &version);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && write) {
        // A new, empty file: the caller creates the tables.
        sqlite3_int64 n = -1;
        scalar(db, "SELECT count(*) FROM sqlite_master", &n);
        if (n == 0) return db;
    }
    if (version != kFormatVersion) {
        *err = FTE_OPEN;
        *sub = rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_CORRUPT : rc;
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

bool createSchema(sqlite3* db, std::string* why) {
    char sql[2048];
    snprintf(sql, sizeof sql,
             "BEGIN;"
             "CREATE TABLE info(key TEXT PRIMARY KEY, value);"
             "INSERT INTO info VALUES('version', %d);"
             "CREATE TABLE docs(id INTEGER PRIMARY KEY AUTOINCREMENT, file TEXT UNIQUE NOT NULL,"
             " type INTEGER, title TEXT, date INTEGER, mdate INTEGER, owner TEXT, security INTEGER,"
             " comps TEXT, size INTEGER, mtime INTEGER, mtimens INTEGER, catsig TEXT, ntok INTEGER);"
             "CREATE TABLE posmap(id INTEGER PRIMARY KEY, map BLOB);"
             // The texts themselves are not kept: positions come from posmap.
             "CREATE VIRTUAL TABLE body USING fts5(text, title, tokenize='ascii', content='');"
             "INSERT INTO body(body, rank) VALUES('rank', 'bm25(1.0, 4.0)');"
             // Writers keep up to 4 MB of new postings in memory before
             // they write a segment: fewer segments and merges than the
             // default, less fresh memory than more.
             "INSERT INTO body(body, rank) VALUES('hashsize', 4194304);"
             "CREATE VIRTUAL TABLE meta USING fts5(owner, code, comps, fname, tokenize='ascii', content='');"
             "CREATE TABLE terms(block INTEGER PRIMARY KEY, words BLOB NOT NULL);"
             "CREATE TABLE grams(gram BLOB PRIMARY KEY, last INTEGER NOT NULL, ids BLOB NOT NULL) WITHOUT ROWID;"
             "COMMIT;",
             kFormatVersion);
    if (!exec(db, sql, why)) {
        exec(db, "ROLLBACK");
        return false;
    }
    return true;
}

}  // namespace ft
