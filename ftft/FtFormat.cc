// Types and displayed texts; see FtFormat.h.
#include "FtFormat.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <string_view>
#include <vector>
#include <cstdio>
#include <cstring>

#include "FtStore.h"
#include "YmPlatform.h"

namespace ft {

namespace {

std::string extension(const std::string& name) {
    size_t slash = name.rfind('/');
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return name.substr(dot + 1);
}

// A troff source of a manual page: a ".TH" request at a line start.
bool hasTH(const std::string& head) {
    for (size_t p = 0; p < head.size(); p = head.find('\n', p) + 1) {
        if (head.compare(p, 4, ".TH ") == 0 || head.compare(p, 4, ".TH\t") == 0) return true;
        if (head.find('\n', p) == std::string::npos) break;
    }
    return false;
}


}  // namespace

int detectType(const std::string& name, const std::string& head) {
    std::string ext = extension(name);
    if (ext.size() == 1 && ext[0] >= '1' && ext[0] <= '9') return kMan;
    if (ext == "man") return kMan;
    if (ext == "ms" || ext == "me" || ext == "t" || ext == "tr") return hasTH(head) ? kMan : kTroff;
    if (ext == "mm") return kMm;
    if (ext == "z") return kPacked;
    if (ext == "Z" || ext == "gz") return kCompressed;
    if (head.size() >= 2 && (unsigned char)head[0] == 0x01 && (unsigned char)head[1] == 0xda) return kRgbImage;
    if (memchr(head.data(), '\0', head.size())) return 0;
    if (hasTH(head)) return kMan;
    return kText;
}

bool hasText(int type) {
    switch (type) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
            return true;
        default:
            return false;
    }
}

std::string filterCommand(int type, const std::string& path) {
    std::string f = ymShellQuote(path);
    std::string tbl = std::string(ymPath(YmPath::Tbl)) + " " + f + " | " + ymPath(YmPath::Nroff);
    std::string col = std::string(" | ") + ymPath(YmPath::Col) + " -xb ";
    switch (type) {
        case kMan:
            return tbl + " -i " + ymPath(YmPath::TmacAn) + col;
        case kTroff:
            return tbl + col;
        case kMm:
            return tbl + " -mm" + col;
        case kPacked:
            return std::string(ymPath(YmPath::Pcat)) + " " + f + col;
        case kCompressed:
            return std::string(ymPath(YmPath::Zcat)) + " " + f + col;
        default:
            return "";
    }
}

bool displayedText(int type, const std::string& path, std::string* text, std::string* why) {
    text->clear();
    if (!hasText(type)) return true;
    std::string cmd = filterCommand(type, path);
    if (cmd.empty()) {
        if (!readFile(path, text)) {
            *why = std::string("cannot read: ") + strerror(errno);
            return false;
        }
        return true;
    }
    // The formatters' messages go where ours go; their input is the file.
    cmd = "exec </dev/null; " + cmd;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        *why = "cannot run the formatter";
        return false;
    }
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text->append(buf, n);
    int status = pclose(p);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *why = "the formatter failed: " + cmd;
        return false;
    }
    return true;
}

std::string deriveTitle(int type, const std::string& text) {
    using sv = std::string_view;
    std::vector<sv> lines;
    size_t pos = 0;
    while (pos < text.size() && lines.size() < 400) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        lines.push_back(sv(text).substr(pos, eol - pos));
        pos = eol + 1;
    }
    auto trimv = [](sv s) {
        size_t b = s.find_first_not_of(" \t\r");
        if (b == sv::npos) return sv();
        return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
    };
    auto cut = [](sv s) { return std::string(s.substr(0, 200)); };
    if (type == kMan) {
        for (size_t i = 0; i + 1 < lines.size(); i++)
            if (trimv(lines[i]) == "NAME") {
                std::string t;
                for (size_t j = i + 1; j < lines.size() && !trimv(lines[j]).empty(); j++) {
                    if (!t.empty()) t += ' ';
                    t += trimv(lines[j]);
                }
                if (!t.empty()) return cut(t);
            }
    }
    auto isRule = [&](sv s) {
        sv t = trimv(s);
        if (t.size() < 3) return false;
        char c = t[0];
        if (c != '=' && c != '-' && c != '~' && c != '*' && c != '#') return false;
        return t.find_first_not_of(c) == sv::npos;
    };
    auto hasLetter = [](sv s) {
        for (char c : s)
            if (isalpha((unsigned char)c)) return true;
        return false;
    };
    for (size_t i = 0; i < lines.size(); i++) {
        sv t = trimv(lines[i]);
        if (t.size() > 1 && t[0] == '#' && t[1] == ' ') return cut(trimv(t.substr(1)));
        if (hasLetter(t) && i + 1 < lines.size() && isRule(lines[i + 1]) && !isRule(lines[i])) return cut(t);
    }
    for (sv l : lines) {
        sv t = trimv(l);
        if (hasLetter(t) && t.substr(0, 3) != ".. ") return cut(t);
    }
    return "";
}

}  // namespace ft
