// Query tree to SQL; see FtCompile.h.
#include "FtCompile.h"

#include <cctype>

#include "FtStore.h"
#include "FtText.h"
#include "ftft.h"

namespace ft {

Thesaurus parseThesaurus(const std::string& text) {
    Thesaurus out;
    for (const std::string& line : contentLines(text)) {
        std::vector<std::vector<std::string>> members;
        size_t s = 0;
        while (s <= line.size()) {
            size_t c = line.find(',', s);
            if (c == std::string::npos) c = line.size();
            std::vector<std::string> w = words(line.substr(s, c - s));
            if (!w.empty()) members.push_back(w);
            s = c + 1;
        }
        for (size_t i = 0; i < members.size(); i++) {
            std::string key;
            for (const std::string& w : members[i]) key += (key.empty() ? "" : " ") + w;
            auto& syn = out[key];
            for (size_t j = 0; j < members.size(); j++)
                if (j != i && members[j] != members[i]) syn.push_back(members[j]);
        }
    }
    return out;
}

namespace {

enum { kNoTable = -1, kBody = 0, kMeta = 1 };
const char* const kTableName[] = {"body", "meta"};

// One alternative of an item: a phrase of words, the last maybe a prefix.
using Alt = Phrase;

// What one query part matches: (fts in table) AND cond.
struct Expr {
    int table = kNoTable;
    std::string fts;
    std::string cond;
    std::vector<Bind> binds;
    MatchPtr pos;  // what fts says, for the match positions of a hit
    bool nothing = false;
    bool all() const { return !nothing && fts.empty() && cond.empty(); }
};

Expr nothingExpr() {
    Expr e;
    e.nothing = true;
    return e;
}

Bind textBind(const std::string& s) { return Bind{true, s, 0}; }
Bind numBind(long long n) { return Bind{false, "", n}; }

std::string quoteAlt(const Alt& a) {
    std::string s = "\"";
    for (size_t i = 0; i < a.toks.size(); i++) s += (i ? " " : "") + a.toks[i];
    s += "\"";
    if (a.prefix) s += " *";
    return s;
}

std::string joinAlts(const std::vector<Alt>& alts) {
    if (alts.size() == 1) return quoteAlt(alts[0]);
    std::string s = "(";
    for (size_t i = 0; i < alts.size(); i++) s += (i ? " OR " : "") + quoteAlt(alts[i]);
    return s + ")";
}

// How a field is searched.
struct FieldInfo {
    int table;           // kBody, kMeta, or kNoTable for docs columns
    const char* column;  // full-text column filter, or the docs column
    bool numeric;
    bool date;
};

FieldInfo fieldInfo(int f) {
    switch (f) {
        case FTF_TITLE:
            return {kBody, "title", false, false};
        case FTF_OWNER:
            return {kMeta, "owner", false, false};
        case FTF_CODE:
            return {kMeta, "code", false, false};
        case FTF_COMPONENTS:
            return {kMeta, "comps", false, false};
        case FTF_FILE:
            return {kMeta, "fname", false, false};
        case FTF_TYPE:
            return {kNoTable, "type", true, false};
        case FTF_SECURITY:
            return {kNoTable, "security", true, false};
        case FTF_DATE:
            return {kNoTable, "date", false, true};
        case FTF_MODIFIED:
            return {kNoTable, "mdate", false, true};
        default:
            return {kBody, nullptr, false, false};
    }
}

std::string withFilter(const FieldInfo& fi, const std::string& fts) {
    if (!fi.column) return fts;
    return std::string(fi.column) + " : " + (fts[0] == '(' ? fts : "(" + fts + ")");
}

class Compiler {
public:
    Compiler(const QOptions& o, const Thesaurus* t, const Expander& e) : opts_(o), thes_(t), expand_(e) {}

    bool failed = false;
    std::string why;
    std::vector<MatchPtr> posParts;

    Expr compile(const QNode& n, int field, bool positive) {
        FieldInfo fi = fieldInfo(field);
        switch (n.kind) {
            case QNode::All:
                return Expr();
            case QNode::Field:
                return compile(*n.kids[0], n.n, positive);
            case QNode::Not: {
                Expr c = compile(*n.kids[0], field, !positive);
                if (c.nothing) return Expr();
                if (c.all()) return nothingExpr();
                Expr e;
                condBinds_.clear();
                e.cond = "NOT (" + toCond(c, !positive) + ")";
                e.binds = std::move(condBinds_);
                condBinds_.clear();
                return e;
            }
            case QNode::And:
                return combineAnd(n.kids, field, positive);
            case QNode::Or:
                return combineOr(n.kids, field, positive);
            case QNode::Near:
                return near(n, field, positive);
            case QNode::Date: {
                if (!fi.date) {
                    fail("a date comparison outside a date field");
                    return nothingExpr();
                }
                Expr e;
                e.cond = std::string("d.") + fi.column + (n.n == '>' ? " > ?" : " < ?");
                e.binds.push_back(numBind(n.date));
                return e;
            }
            case QNode::Word:
            case QNode::Phrase: {
                if (fi.date) {
                    fail("field " + std::to_string(field) + " takes a date comparison");
                    return nothingExpr();
                }
                if (fi.numeric) return numberExpr(n, fi);
                bool all = false;
                std::vector<Alt> alts = alternatives(n, &all);
                if (all) return Expr();
                if (alts.empty()) return nothingExpr();
                Expr e;
                e.table = fi.table;
                e.fts = withFilter(fi, joinAlts(alts));
                e.pos = MatchNode::item(std::move(alts), fi.column != nullptr);
                return e;
            }
        }
        return nothingExpr();
    }

    // The SQL condition on d for e; appends its binds to condBinds_.
    std::string toCond(const Expr& e, bool positive) {
        if (e.nothing) return "0";
        if (e.all()) return "1";
        std::string c;
        if (!e.fts.empty()) {
            const char* t = kTableName[e.table];
            c = std::string("d.id IN (SELECT rowid FROM ") + t + " WHERE " + t + " MATCH ?)";
            condBinds_.push_back(textBind(e.fts));
            if (positive && e.table == kBody && e.pos) posParts.push_back(e.pos);
        }
        if (!e.cond.empty()) {
            if (!c.empty()) c = "(" + c + " AND (" + e.cond + "))";
            else c = e.cond;
            condBinds_.insert(condBinds_.end(), e.binds.begin(), e.binds.end());
        }
        return c;
    }

private:
    void fail(const std::string& w) {
        if (!failed) {
            failed = true;
            why = w;
        }
    }

    Expr numberExpr(const QNode& n, const FieldInfo& fi) {
        if (n.kind != QNode::Word || n.word.empty() || n.word.size() > 18) return nothingExpr();
        const char* s = n.word.c_str();
        const char* p = s + (*s == '-');
        if (!*p) return nothingExpr();
        for (; *p; p++)
            if (!isdigit((unsigned char)*p)) return nothingExpr();
        Expr e;
        e.cond = std::string("d.") + fi.column + " = ?";
        e.binds.push_back(numBind(atoll(s)));
        return e;
    }

    // One word of a query split into its parts; each part's options.
    // Returns false when some part can match nothing.
    bool partOptions(const std::string& word, bool lastWord, std::vector<std::vector<Alt>>* parts, bool* allStar,
                     bool* plain) {
        std::vector<std::string> raw;
        std::string cur;
        for (char ch : word) {
            unsigned char c = (unsigned char)ch;
            if (isWordByte(c) || ch == kAnyRun || ch == kAnyOne) {
                cur.push_back(ch);
            } else if (!cur.empty()) {
                raw.push_back(cur);
                cur.clear();
            }
        }
        if (!cur.empty()) raw.push_back(cur);
        *allStar = false;
        *plain = true;
        size_t stars = 0;
        for (const std::string& r : raw)
            if (r.find_first_not_of(kAnyRun) == std::string::npos) stars++;
        if (!raw.empty() && stars == raw.size()) {
            *allStar = true;
            return true;
        }
        for (size_t i = 0; i < raw.size(); i++) {
            const std::string& r = raw[i];
            if (r.find_first_not_of(kAnyRun) == std::string::npos) {
                *plain = false;
                continue;  // "*" between separators: any word, left out
            }
            size_t wild = r.find_first_of(std::string(1, kAnyRun) + kAnyOne);
            std::vector<Alt> opts;
            if (wild == std::string::npos) {
                opts.push_back(Alt{{foldCase(r)}, false});
            } else {
                *plain = false;
                size_t lastLit = r.find_last_not_of(kAnyRun);
                bool trailingOnly = r.find_first_of(std::string(1, kAnyRun) + kAnyOne) == lastLit + 1 &&
                                    r.find(kAnyOne) == std::string::npos;
                if (trailingOnly && lastWord && i + 1 == raw.size()) {
                    opts.push_back(Alt{{foldCase(r.substr(0, lastLit + 1))}, true});
                } else {
                    std::string glob;
                    for (char ch : foldCase(r)) glob.push_back(ch == kAnyRun ? '*' : ch == kAnyOne ? '?' : ch);
                    const std::vector<std::string>* words = expand_(glob);
                    if (words)
                        for (size_t k = 0; k < words->size() && k < kMaxExpansions; k++)
                            opts.push_back(Alt{{(*words)[k]}, false});
                    if (opts.empty()) return false;
                }
            }
            parts->push_back(std::move(opts));
        }
        return true;
    }

    static std::vector<Alt> cross(const std::vector<std::vector<Alt>>& parts) {
        std::vector<Alt> out{Alt{}};
        for (const auto& opts : parts) {
            std::vector<Alt> next;
            for (const Alt& a : out)
                for (const Alt& o : opts) {
                    if (next.size() >= kMaxAlternatives) break;
                    Alt n = a;
                    n.toks.insert(n.toks.end(), o.toks.begin(), o.toks.end());
                    n.prefix = o.prefix;
                    next.push_back(std::move(n));
                }
            out.swap(next);
        }
        return out;
    }

    // The phrases a word or phrase node stands for. *all: it matches any word.
    std::vector<Alt> alternatives(const QNode& n, bool* all) {
        *all = false;
        std::vector<std::vector<Alt>> parts;
        if (n.kind == QNode::Word) {
            bool plain;
            if (!partOptions(n.word, true, &parts, all, &plain)) return {};
            if (*all) return {};
            if (parts.empty()) return {};
            std::vector<Alt> alts = cross(parts);
            if (plain && thes_ && opts_.thesaurus && alts.size() == 1) {
                std::string key;
                for (const std::string& t : alts[0].toks) key += (key.empty() ? "" : " ") + t;
                auto it = thes_->find(key);
                if (it != thes_->end())
                    for (const auto& syn : it->second)
                        if (alts.size() < kMaxAlternatives) alts.push_back(Alt{syn, false});
            }
            return alts;
        }
        for (size_t i = 0; i < n.words.size(); i++) {
            bool star, plain;
            if (!partOptions(n.words[i], i + 1 == n.words.size(), &parts, &star, &plain)) return {};
        }
        if (parts.empty()) {
            *all = true;
            return {};
        }
        return cross(parts);
    }

    // Gathers the items of a proximity group: word-like items into terms,
    // the rest into others.
    bool nearItems(const QNode& n, std::vector<std::vector<Alt>>* terms, std::vector<const QNode*>* others) {
        for (const auto& k : n.kids) {
            switch (k->kind) {
                case QNode::And:
                case QNode::Near:
                    if (!nearItems(*k, terms, others)) return false;
                    break;
                case QNode::Word:
                case QNode::Phrase: {
                    bool all;
                    std::vector<Alt> a = alternatives(*k, &all);
                    if (all) break;
                    if (a.empty()) return false;
                    terms->push_back(std::move(a));
                    break;
                }
                case QNode::Or: {
                    std::vector<Alt> a;
                    bool wordsOnly = true;
                    for (const auto& o : k->kids)
                        if (o->kind != QNode::Word && o->kind != QNode::Phrase) wordsOnly = false;
                    if (!wordsOnly) {
                        others->push_back(k.get());
                        break;
                    }
                    bool any = false;
                    for (const auto& o : k->kids) {
                        bool all;
                        std::vector<Alt> x = alternatives(*o, &all);
                        if (all) any = true;
                        for (Alt& alt : x)
                            if (a.size() < kMaxAlternatives) a.push_back(std::move(alt));
                    }
                    if (any) break;
                    if (a.empty()) return false;
                    terms->push_back(std::move(a));
                    break;
                }
                default:
                    others->push_back(k.get());
            }
        }
        return true;
    }

    Expr near(const QNode& n, int field, bool positive) {
        FieldInfo fi = fieldInfo(field);
        if (fi.numeric || fi.date) return combineAnd(n.kids, field, positive);
        std::vector<std::vector<Alt>> terms;
        std::vector<const QNode*> others;
        if (!nearItems(n, &terms, &others)) return nothingExpr();
        Expr e;
        if (terms.size() == 1) {
            e.table = fi.table;
            e.fts = withFilter(fi, joinAlts(terms[0]));
            e.pos = MatchNode::item(std::move(terms[0]), fi.column != nullptr);
        } else if (terms.size() > 1) {
            std::vector<std::vector<Alt>> combos{{}};
            for (const auto& opts : terms) {
                std::vector<std::vector<Alt>> next;
                for (const auto& c : combos)
                    for (const Alt& o : opts) {
                        if (next.size() >= kMaxAlternatives) break;
                        auto x = c;
                        x.push_back(o);
                        next.push_back(std::move(x));
                    }
                combos.swap(next);
            }
            std::string s;
            for (size_t i = 0; i < combos.size(); i++) {
                s += i ? " OR NEAR(" : "NEAR(";
                for (size_t j = 0; j < combos[i].size(); j++) s += (j ? " " : "") + quoteAlt(combos[i][j]);
                s += ", " + std::to_string(n.n < 0 ? 0 : n.n) + ")";
            }
            if (combos.size() > 1) s = "(" + s + ")";
            e.table = fi.table;
            e.fts = withFilter(fi, s);
            // The positions take every combination, also those beyond the
            // limit of the expression.
            e.pos = MatchNode::near(std::move(terms), n.n, fi.column != nullptr);
        }
        if (others.empty()) return e;
        std::vector<std::pair<Expr, bool>> parts;
        parts.push_back({std::move(e), false});
        for (const QNode* o : others) addAndPart(*o, field, positive, &parts);
        return andOf(parts, positive);
    }

    void addAndPart(const QNode& k, int field, bool positive, std::vector<std::pair<Expr, bool>>* parts) {
        if (k.kind == QNode::Not) parts->push_back({compile(*k.kids[0], field, !positive), true});
        else parts->push_back({compile(k, field, positive), false});
    }

    Expr combineAnd(const std::vector<std::unique_ptr<QNode>>& kids, int field, bool positive) {
        std::vector<std::pair<Expr, bool>> parts;
        for (const auto& k : kids) addAndPart(*k, field, positive, &parts);
        return andOf(parts, positive);
    }

    Expr andOf(std::vector<std::pair<Expr, bool>>& parts, bool positive) {
        int table = kNoTable;
        for (auto& p : parts) {
            if (!p.second && p.first.nothing) return nothingExpr();
            if (p.second && p.first.all()) return nothingExpr();
            if (!p.second && !p.first.fts.empty() && (table == kNoTable || p.first.table == kBody))
                table = p.first.table;
        }
        std::vector<std::string> pos, neg, conds;
        std::vector<MatchPtr> posNodes, negNodes;
        std::vector<Bind> binds;
        for (auto& p : parts) {
            Expr& x = p.first;
            if (!p.second) {
                if (x.all()) continue;
                if (!x.fts.empty() && x.table == table) {
                    pos.push_back(x.fts);
                    posNodes.push_back(x.pos);
                    if (!x.cond.empty()) {
                        conds.push_back(x.cond);
                        binds.insert(binds.end(), x.binds.begin(), x.binds.end());
                    }
                } else {
                    condBinds_.clear();
                    conds.push_back(toCond(x, positive));
                    binds.insert(binds.end(), condBinds_.begin(), condBinds_.end());
                }
            } else {
                if (x.nothing) continue;
                if (table != kNoTable && x.table == table && x.cond.empty()) {
                    neg.push_back(x.fts);
                    negNodes.push_back(x.pos);
                } else {
                    condBinds_.clear();
                    conds.push_back("NOT (" + toCond(x, !positive) + ")");
                    binds.insert(binds.end(), condBinds_.begin(), condBinds_.end());
                }
            }
        }
        Expr e;
        if (!pos.empty()) {
            e.table = table;
            if (pos.size() == 1 && neg.empty()) {
                e.fts = pos[0];
                e.pos = posNodes[0];
            } else {
                std::string s;
                for (size_t i = 0; i < pos.size(); i++) s += (i ? " AND (" : "(") + pos[i] + ")";
                if (!neg.empty()) s = "(" + s + ")";
                for (const std::string& n : neg) s += " NOT (" + n + ")";
                e.fts = s;
                e.pos = MatchNode::andOf(std::move(posNodes), negNodes);
            }
        }
        for (size_t i = 0; i < conds.size(); i++) e.cond += (i ? " AND " : "") + conds[i];
        e.binds = std::move(binds);
        return e;
    }

    Expr combineOr(const std::vector<std::unique_ptr<QNode>>& kids, int field, bool positive) {
        std::vector<Expr> xs;
        for (const auto& k : kids) {
            Expr x = compile(*k, field, positive);
            if (x.all()) return Expr();
            if (!x.nothing) xs.push_back(std::move(x));
        }
        if (xs.empty()) return nothingExpr();
        bool pure = true;
        for (const Expr& x : xs)
            if (x.fts.empty() || !x.cond.empty() || x.table != xs[0].table) pure = false;
        Expr e;
        if (pure) {
            e.table = xs[0].table;
            if (xs.size() == 1) {
                e.fts = xs[0].fts;
                e.pos = xs[0].pos;
            } else {
                std::vector<MatchPtr> any;
                for (size_t i = 0; i < xs.size(); i++) {
                    e.fts += (i ? " OR (" : "((") + xs[i].fts + ")";
                    any.push_back(xs[i].pos);
                }
                e.fts += ")";
                e.pos = MatchNode::orOf(std::move(any));
            }
            return e;
        }
        condBinds_.clear();
        for (size_t i = 0; i < xs.size(); i++) e.cond += (i ? " OR " : "(") + toCond(xs[i], positive);
        e.cond += ")";
        e.binds = std::move(condBinds_);
        condBinds_.clear();
        return e;
    }

    const QOptions& opts_;
    const Thesaurus* thes_;
    const Expander& expand_;

public:
    std::vector<Bind> condBinds_;
};

}  // namespace

namespace {

// The text is ranked by the engine's own BM25 (the same formula and column
// weights as the table's configured rank, with the documents' lengths kept in
// memory); the catalogue words by the table's rank.
std::string rankOf(int table, const std::string& column) {
    if (table == kBody) return "ftrank(" + column + ", 1.0, 4.0)";
    return "rank";
}

}  // namespace

bool compilePlan(const QNode& root, const QOptions& opts, const Thesaurus* thes, const Expander& expand, Plan* plan,
                 std::string* why) {
    *plan = Plan();
    Compiler c(opts, thes, expand);
    Expr e = c.compile(root, FTF_TEXT, true);
    if (c.failed) {
        *why = c.why;
        return false;
    }
    if (e.nothing) {
        plan->sql = "SELECT 0, NULL WHERE 0";
        plan->countSql = "SELECT 0";
        return true;
    }
    if (!e.fts.empty()) {
        const char* t = kTableName[e.table];
        plan->binds.push_back(textBind(e.fts));
        if (e.cond.empty()) {
            plan->sql = std::string("SELECT rowid, ") + rankOf(e.table, t) + " FROM " + t + " WHERE " + t + " MATCH ?";
            plan->countSql = std::string("SELECT count(*) FROM ") + t + " WHERE " + t + " MATCH ?";
        } else {
            std::string from = std::string(" FROM ") + t + " t JOIN docs d ON d.id = t.rowid WHERE t." + t +
                               " MATCH ? AND (" + e.cond + ")";
            plan->sql = std::string("SELECT d.id, ") + rankOf(e.table, "t.body") + from;
            plan->countSql = "SELECT count(*)" + from;
            plan->binds.insert(plan->binds.end(), e.binds.begin(), e.binds.end());
        }
        if (e.table == kBody && e.pos) c.posParts.push_back(e.pos);
    } else {
        std::string cond = e.cond.empty() ? "1" : e.cond;
        plan->binds = e.binds;
        plan->countSql = "SELECT count(*) FROM docs d WHERE " + cond;
        plan->sql = "SELECT d.id, NULL FROM docs d WHERE " + cond;
    }
    plan->posParts = std::move(c.posParts);
    return true;
}

}  // namespace ft
