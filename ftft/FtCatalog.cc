// Catalogue reading; see FtCatalog.h.
#include "FtCatalog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FtDate.h"
#include "FtStore.h"

namespace ft {

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> out;
    size_t s = 0;
    for (;;) {
        size_t t = line.find('\t', s);
        out.push_back(line.substr(s, t == std::string::npos ? std::string::npos : t - s));
        if (t == std::string::npos) break;
        s = t + 1;
    }
    return out;
}

bool number(const std::string& s, long lo, long hi, long* v) {
    if (s.empty() || s.size() > 12) return false;
    char* end = nullptr;
    errno = 0;
    long r = strtol(s.c_str(), &end, 10);
    if (errno || *end || r < lo || r > hi) return false;
    *v = r;
    return true;
}

// Only the two written forms: YYYYMMDD and YYYY-MM-DD.
long catalogDate(const std::string& s) {
    if (s.size() == 8 && s.find_first_not_of("0123456789") == std::string::npos) return parseDate(s.c_str());
    if (s.size() == 10 && s[4] == '-' && s[7] == '-') return parseDate(s.c_str());
    return 0;
}

}  // namespace

bool readCatalog(const std::string& path, std::map<std::string, CatalogEntry>* out, std::string* why) {
    out->clear();
    std::string text;
    if (!readFile(path, &text)) {
        *why = path + ": cannot read: " + strerror(errno);
        return false;
    }
    enum Col { File, Type, Title, Date, Modified, Owner, Security, Components };
    static const char* const kNames[] = {"file", "type", "title", "date", "modified", "owner", "security", "components"};
    std::vector<int> cols;
    size_t pos = 0;
    int lineNo = 0;
    auto err = [&](const std::string& msg) {
        *why = path + ":" + std::to_string(lineNo) + ": " + msg;
        return false;
    };
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        lineNo++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f = splitTabs(line);
        if (lineNo == 1) {
            bool haveFile = false;
            for (const std::string& name : f) {
                int c = -1;
                for (int i = 0; i < 8; i++)
                    if (name == kNames[i]) c = i;
                if (c < 0) return err("unknown column \"" + name + "\"");
                for (int x : cols)
                    if (x == c) return err("column \"" + name + "\" twice");
                cols.push_back(c);
                haveFile |= c == File;
            }
            if (!haveFile) return err("no \"file\" column");
            continue;
        }
        if (line.empty()) continue;
        if (f.size() > cols.size()) return err("more fields than columns");
        CatalogEntry e;
        e.line = lineNo;
        e.raw = line;
        std::string file;
        for (size_t i = 0; i < f.size(); i++) {
            const std::string& v = f[i];
            if (v.empty() && cols[i] != File) continue;  // left to be derived
            long n;
            switch (cols[i]) {
                case File:
                    file = v;
                    break;
                case Type:
                    if (!number(v, 1, 21, &n)) return err("bad type \"" + v + "\"");
                    e.hasType = true;
                    e.type = int(n);
                    break;
                case Title:
                    e.hasTitle = true;
                    e.title = v;
                    break;
                case Date:
                case Modified:
                    n = catalogDate(v);
                    if (!n) return err("bad date \"" + v + "\" (YYYYMMDD or YYYY-MM-DD)");
                    if (cols[i] == Date) {
                        e.hasDate = true;
                        e.date = n;
                    } else {
                        e.hasModified = true;
                        e.modified = n;
                    }
                    break;
                case Owner:
                    e.hasOwner = true;
                    e.owner = v;
                    break;
                case Security:
                    if (!number(v, -2147483647L, 2147483647L, &n)) return err("bad security \"" + v + "\"");
                    e.hasSecurity = true;
                    e.security = n;
                    break;
                case Components:
                    e.hasComps = true;
                    e.comps = v;
                    break;
            }
        }
        if (file.empty()) return err("no file name");
        if (file[0] == '/' || file == ".." || file.compare(0, 3, "../") == 0 ||
            file.find("/../") != std::string::npos)
            return err("file \"" + file + "\" is not below the documents' folder");
        if (out->count(file)) return err("file \"" + file + "\" twice");
        (*out)[file] = e;
    }
    if (lineNo == 0) {
        lineNo = 1;
        return err("empty catalogue");
    }
    return true;
}

}  // namespace ft
