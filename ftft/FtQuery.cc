// Reads the engine's query text into a tree of QNode.
#include "FtQuery.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "FtDate.h"
#include "ftft.h"

namespace ft {

bool searchableField(int f) {
    switch (f) {
        case FTF_TEXT:
        case FTF_DATE:
        case FTF_MODIFIED:
        case FTF_OWNER:
        case FTF_TYPE:
        case FTF_FILE:
        case FTF_TITLE:
        case FTF_CODE:
        case FTF_SECURITY:
        case FTF_COMPONENTS:
            return true;
        default:
            return false;
    }
}

namespace {

// Grammar of the query text (blanks are spaces, tabs, CR and LF):
//
//   query    := { option } { item }            several items mean all of them
//   option   := "\C" OPTS "v" blank            OPTS: ";"-separated "K:V"
//                                              ("3:N" distance, "10:3" thesaurus)
//             | "\C\"v" blank NAME blanks "\C}"  thesaurus file name
//   item     := group | "\C0x" blank item | field | date | phrase | word
//   group    := "\C" N ("t" | "u" | "y") blank { item } "\C}"
//                                              t: all, u: any, y: proximity N
//   field    := "\C" N "s" blank [ item ]      the item searched in field N;
//                                              with no item (the next token is
//                                              "\C}" or the end) it is ignored
//   date     := "\C" (">" | "<") "z" blank DATE "\C}"   DATE as ftdhston reads it
//   phrase   := "\Cp" blank { word } "\C}"
//   word     := { CHAR | "\C-w " | "\C!w " }+  ended by a blank; CHAR is any
//                                              byte but a blank
//
// A word that starts with "\C" is a command unless it is a wildcard.
class Reader {
public:
    Reader(const char* text, QOptions* opts) : p_(text), opts_(opts) {}

    std::unique_ptr<QNode> query(int* err, std::string* why) {
        auto root = std::make_unique<QNode>();
        root->kind = QNode::And;
        skipBlanks();
        while (!failed_ && *p_) {
            if (isOption()) {
                option();
            } else if (at("\\C}")) {
                fail("a closing \\C} without a group");
            } else {
                auto it = item(0);
                if (it) root->kids.push_back(std::move(it));
            }
            skipBlanks();
        }
        if (failed_) {
            *err = err_;
            *why = why_;
            return nullptr;
        }
        if (root->kids.size() == 1) return std::move(root->kids[0]);
        if (root->kids.empty()) root->kind = QNode::All;
        return root;
    }

private:
    static bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    void skipBlanks() {
        while (blank(*p_)) p_++;
    }
    bool at(const char* s) const { return strncmp(p_, s, strlen(s)) == 0; }
    void fail(const std::string& why, int err = FTE_QUERY) {
        if (!failed_) {
            failed_ = true;
            err_ = err;
            why_ = why;
        }
    }

    // "\C" then a run of option characters then "v" and a blank (or the end).
    bool isOption() const {
        if (!at("\\C")) return false;
        const char* q = p_ + 2;
        if (*q == '"') return q[1] == 'v';
        while (*q && strchr("0123456789:;>$<=+-.,", *q)) q++;
        return *q == 'v' && (q[1] == '\0' || blank(q[1]));
    }

    void option() {
        p_ += 2;
        if (*p_ == '"') {
            p_ += 2;
            skipBlanks();
            const char* end = strstr(p_, "\\C}");
            if (!end) return fail("a thesaurus name without \\C}");
            std::string name(p_, size_t(end - p_));
            while (!name.empty() && blank(name.back())) name.pop_back();
            opts_->thesName = name;
            p_ = end + 3;
            return;
        }
        const char* v = p_;
        while (*v != 'v') v++;
        std::string body(p_, size_t(v - p_));
        p_ = v + 1;
        size_t pos = 0;
        while (pos <= body.size()) {
            size_t semi = body.find(';', pos);
            if (semi == std::string::npos) semi = body.size();
            std::string kv = body.substr(pos, semi - pos);
            size_t colon = kv.find(':');
            if (colon != std::string::npos) {
                std::string k = kv.substr(0, colon), val = kv.substr(colon + 1);
                if (k == "3" && !val.empty() && isdigit((unsigned char)val[0])) {
                    long d = strtol(val.c_str(), nullptr, 10);
                    opts_->distance = int(d > 100000 ? 100000 : d);
                } else if (k == "10") {
                    opts_->thesaurus = val == "3";
                }
            }
            pos = semi + 1;
        }
    }

    // The command after "\C": a number (maybe empty), a letter, a blank.
    bool command(long* num, char* letter) {
        const char* q = p_ + 2;
        bool neg = false;
        if (*q == '-' || *q == '!' || *q == '>' || *q == '<') {
            *letter = *q;  // sign-like prefixes of w and z
            q++;
            if (!*q) return false;
            char l = *q;
            if (!(q[1] == '\0' || blank(q[1]))) return false;
            *num = l;
            p_ = q + 1;
            if (*p_) p_++;
            return true;
        }
        if (*q == 'p') {
            if (!(q[1] == '\0' || blank(q[1]))) return false;
            *letter = 'p';
            *num = 0;
            p_ = q + 1;
            if (*p_) p_++;
            return true;
        }
        if (!isdigit((unsigned char)*q)) return false;
        long n = 0;
        while (isdigit((unsigned char)*q)) {
            if (n < 1000000) n = n * 10 + (*q - '0');
            q++;
        }
        if (!strchr("tuyxs", *q) || *q == '\0') return false;
        if (!(q[1] == '\0' || blank(q[1]))) return false;
        *letter = *q;
        *num = neg ? -n : n;
        p_ = q + 1;
        if (*p_) p_++;
        return true;
    }

    std::unique_ptr<QNode> item(int depth) {
        if (depth > 200) {
            fail("groups nested too deeply");
            return nullptr;
        }
        skipBlanks();
        if (!*p_) {
            fail("an item is missing at the end");
            return nullptr;
        }
        if (at("\\C}")) {
            fail("an item is missing before \\C}");
            return nullptr;
        }
        if (at("\\C-w ") || at("\\C!w ") || !at("\\C")) return word();
        const char* start = p_;
        long num = 0;
        char letter = 0;
        if (!command(&num, &letter)) {
            fail(std::string("unknown command at \"") + std::string(start, strnlen(start, 12)) + "\"");
            return nullptr;
        }
        auto node = std::make_unique<QNode>();
        switch (letter) {
            case 't':
            case 'u':
            case 'y':
                node->kind = letter == 't' ? QNode::And : letter == 'u' ? QNode::Or : QNode::Near;
                if (letter != 'y' && num != 0) {
                    fail("unknown group command");
                    return nullptr;
                }
                node->n = int(num);
                for (;;) {
                    skipBlanks();
                    if (!*p_) {
                        fail("a group without \\C}");
                        return nullptr;
                    }
                    if (at("\\C}")) {
                        p_ += 3;
                        break;
                    }
                    auto k = item(depth + 1);
                    if (failed_) return nullptr;
                    if (k) node->kids.push_back(std::move(k));
                }
                if (node->kids.empty()) node->kind = QNode::All;
                return node;
            case 'x': {
                if (num != 0) {
                    fail("unknown command \\C<N>x");
                    return nullptr;
                }
                auto k = item(depth + 1);
                if (!k) {
                    if (!failed_) fail("\\C0x without an item");
                    return nullptr;
                }
                node->kind = QNode::Not;
                node->kids.push_back(std::move(k));
                return node;
            }
            case 's': {
                if (!searchableField(int(num))) {
                    fail("field " + std::to_string(num) + " cannot be searched", FTE_FIELD);
                    return nullptr;
                }
                skipBlanks();
                // A selector with nothing after it is ignored.
                if (!*p_ || at("\\C}")) return nullptr;
                auto k = item(depth + 1);
                if (!k) return nullptr;
                node->kind = QNode::Field;
                node->n = int(num);
                node->kids.push_back(std::move(k));
                return node;
            }
            case '>':
            case '<': {
                if (num != 'z') {
                    fail("unknown command");
                    return nullptr;
                }
                const char* end = strstr(p_, "\\C}");
                if (!end) {
                    fail("a date without \\C}");
                    return nullptr;
                }
                std::string text(p_, size_t(end - p_));
                p_ = end + 3;
                long d = parseDate(text.c_str());
                if (!d) {
                    fail("a date that cannot be read: \"" + text + "\"");
                    return nullptr;
                }
                node->kind = QNode::Date;
                node->n = letter;
                node->date = d;
                return node;
            }
            case 'p': {
                node->kind = QNode::Phrase;
                for (;;) {
                    skipBlanks();
                    if (!*p_) {
                        fail("a phrase without \\C}");
                        return nullptr;
                    }
                    if (at("\\C}")) {
                        p_ += 3;
                        break;
                    }
                    auto w = word();
                    if (!w) return nullptr;
                    node->words.push_back(w->word);
                }
                if (node->words.empty()) node->kind = QNode::All;
                return node;
            }
            default:
                fail("unknown command");
                return nullptr;
        }
    }

    std::unique_ptr<QNode> word() {
        auto node = std::make_unique<QNode>();
        node->kind = QNode::Word;
        while (*p_ && !blank(*p_)) {
            if (at("\\C-w ")) {
                node->word.push_back(kAnyRun);
                p_ += 5;
            } else if (at("\\C!w ")) {
                node->word.push_back(kAnyOne);
                p_ += 5;
            } else {
                node->word.push_back(*p_++);
            }
        }
        return node;
    }

    const char* p_;
    QOptions* opts_;
    bool failed_ = false;
    int err_ = 0;
    std::string why_;
};

}  // namespace

std::unique_ptr<QNode> parseQuery(const char* text, QOptions* opts, int* err, std::string* why) {
    *err = 0;
    why->clear();
    if (!text) {
        *err = FTE_QUERY;
        *why = "no query text";
        return nullptr;
    }
    Reader r(text, opts);
    return r.query(err, why);
}

}  // namespace ft
