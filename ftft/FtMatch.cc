// The matching words of a hit; see FtMatch.h.
#include "FtMatch.h"

#include <algorithm>

namespace ft {

MatchPtr MatchNode::item(std::vector<Phrase> phrases, bool titleOnly) {
    auto n = std::make_shared<MatchNode>();
    n->kind = Item;
    n->titleOnly = titleOnly;
    n->items.push_back(std::move(phrases));
    return n;
}

MatchPtr MatchNode::near(std::vector<std::vector<Phrase>> items, int distance, bool titleOnly) {
    auto n = std::make_shared<MatchNode>();
    n->kind = Near;
    n->titleOnly = titleOnly;
    n->items = std::move(items);
    n->distance = distance < 0 ? 0 : distance;
    return n;
}

MatchPtr MatchNode::andOf(std::vector<MatchPtr> must, const std::vector<MatchPtr>& mustNot) {
    auto n = std::make_shared<MatchNode>();
    n->kind = And;
    n->kids = std::move(must);
    n->positive = n->kids.size();
    n->kids.insert(n->kids.end(), mustNot.begin(), mustNot.end());
    return n;
}

MatchPtr MatchNode::orOf(std::vector<MatchPtr> any) {
    auto n = std::make_shared<MatchNode>();
    n->kind = Or;
    n->kids = std::move(any);
    return n;
}

HitMatcher::HitMatcher(const std::vector<MatchPtr>& parts) {
    for (const MatchPtr& p : parts)
        if (p) parts_.push_back(intern(*p));
}

uint32_t HitMatcher::pattern(const std::string& word, bool prefix) {
    if (!prefix) {
        auto r = exact_.emplace(word, patterns_);
        if (r.second) patterns_++;
        return r.first->second;
    }
    for (const auto& p : prefixes_)
        if (p.first == word) return p.second;
    prefixes_.push_back({word, patterns_});
    return patterns_++;
}

HitMatcher::Node HitMatcher::intern(const MatchNode& n) {
    Node out{n.kind, n.titleOnly, {}, n.distance, {}, n.positive};
    for (const auto& phrases : n.items) {
        std::vector<Pats> alts;
        for (const Phrase& ph : phrases) {
            if (ph.toks.empty()) continue;
            Pats pats;
            for (size_t i = 0; i < ph.toks.size(); i++)
                pats.push_back(pattern(ph.toks[i], ph.prefix && i + 1 == ph.toks.size()));
            alts.push_back(std::move(pats));
        }
        out.items.push_back(std::move(alts));
    }
    for (const MatchPtr& k : n.kids)
        if (k) out.kids.push_back(intern(*k));
    out.positive = std::min(out.positive, out.kids.size());
    return out;
}

uint32_t HitMatcher::classify(std::string_view word) {
    // Most words of a text are none of the query's, and the few that are
    // mostly one: those need no list.
    uint32_t first = UINT32_MAX;
    size_t n = 0;
    if (!exact_.empty()) {
        key_.assign(word.data(), word.size());
        auto it = exact_.find(key_);
        if (it != exact_.end()) first = it->second, n++;
    }
    for (const auto& p : prefixes_)
        if (word.size() >= p.first.size() && word.compare(0, p.first.size(), p.first) == 0) {
            if (n++ == 0) first = p.second;
        }
    if (n == 0) return 0;
    if (n == 1 && first < single_.size() && single_[first]) return single_[first];
    std::vector<uint32_t> pats;
    if (n > 1) {
        auto it = exact_.find(key_);
        if (!exact_.empty() && it != exact_.end()) pats.push_back(it->second);
        for (const auto& p : prefixes_)
            if (word.size() >= p.first.size() && word.compare(0, p.first.size(), p.first) == 0)
                pats.push_back(p.second);
        std::sort(pats.begin(), pats.end());
    } else {
        pats.push_back(first);
    }
    auto found = classOf_.find(pats);
    if (found != classOf_.end()) return found->second;
    uint32_t c = uint32_t(classes_.size());
    classes_.push_back(pats);
    if (pats.size() == 1) {
        if (single_.size() <= pats[0]) single_.resize(pats[0] + 1, 0);
        single_[pats[0]] = c;
    }
    classOf_.emplace(std::move(pats), c);
    return c;
}

std::vector<HitMatcher::Pattern> HitMatcher::patterns() const {
    std::vector<Pattern> out;
    for (const auto& e : exact_) out.push_back({e.first, false});
    for (const auto& p : prefixes_) out.push_back({p.first, true});
    return out;
}

// classed: the positions of the words of a class, or null to look at all.
void HitMatcher::load(Column* c, const std::vector<uint32_t>* cls, const std::vector<uint32_t>* classed) {
    for (uint32_t p : c->used) c->at[p].clear();
    c->used.clear();
    c->at.resize(patterns_);
    c->cls = cls;
    size_t n = classed ? classed->size() : cls->size();
    for (size_t i = 0; i < n; i++) {
        size_t pos = classed ? (*classed)[i] : i;
        if (pos >= cls->size()) continue;
        uint32_t k = (*cls)[pos];
        if (k == 0 || k >= classes_.size()) continue;
        for (uint32_t p : classes_[k]) {
            if (c->at[p].empty()) c->used.push_back(p);
            c->at[p].push_back(uint32_t(pos));
        }
    }
}

bool HitMatcher::has(const Column& c, size_t pos, uint32_t pat) const {
    if (pos >= c.cls->size()) return false;
    uint32_t k = (*c.cls)[pos];
    if (k == 0 || k >= classes_.size()) return false;
    return std::binary_search(classes_[k].begin(), classes_[k].end(), pat);
}

// Where each of the phrases occurs, by start (ties in any order).
void HitMatcher::occurrences(const Column& c, const std::vector<Pats>& phrases, std::vector<Occ>* out) const {
    out->clear();
    for (const Pats& ph : phrases) {
        for (uint32_t s : c.at[ph[0]]) {
            size_t j = 1;
            while (j < ph.size() && has(c, size_t(s) + j, ph[j])) j++;
            if (j == ph.size()) out->push_back({s, uint32_t(ph.size())});
        }
    }
    if (phrases.size() > 1)
        std::sort(out->begin(), out->end(), [](const Occ& a, const Occ& b) { return a.start < b.start; });
}

bool HitMatcher::item(const Node& n, std::vector<uint32_t>* out) {
    std::vector<Occ> occ;
    if (n.items.empty()) return false;
    if (!n.titleOnly) {
        occurrences(text_, n.items[0], &occ);
        if (out)
            for (const Occ& o : occ)
                for (uint32_t w = 0; w < o.len; w++) out->push_back(o.start + w);
        if (!occ.empty()) return true;
    }
    occurrences(title_, n.items[0], &occ);
    return !occ.empty();
}

// A choice of one occurrence per item satisfies the group when, with L the
// latest start among them, every one ends at most `distance` words before L.
// That holds for the chosen set exactly when it holds for some L among the
// starts that every item reaches (starts at or before L, ends no more than
// the distance before it), so an occurrence belongs to a satisfying choice
// when such an L lies between its own start and its end plus the distance.
bool HitMatcher::near(const Node& n, const Column& c, std::vector<uint32_t>* out) {
    const int64_t d = n.distance;
    size_t k = n.items.size();
    std::vector<std::vector<Occ>> occ(k);
    std::vector<std::vector<int64_t>> reach(k);  // furthest end among the first j occurrences
    std::vector<uint32_t> starts;
    for (size_t i = 0; i < k; i++) {
        occurrences(c, n.items[i], &occ[i]);
        if (occ[i].empty()) return false;
        int64_t r = 0;
        for (const Occ& o : occ[i]) {
            r = std::max(r, int64_t(o.start) + o.len);
            reach[i].push_back(r);
            starts.push_back(o.start);
        }
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::vector<uint32_t> good;
    for (uint32_t l : starts) {
        bool all = true;
        for (size_t i = 0; i < k && all; i++) {
            auto after = std::upper_bound(occ[i].begin(), occ[i].end(), l,
                                          [](uint32_t v, const Occ& o) { return v < o.start; });
            size_t j = size_t(after - occ[i].begin());
            all = j > 0 && reach[i][j - 1] + d >= int64_t(l);
        }
        if (all) {
            good.push_back(l);
            if (!out) return true;
        }
    }
    if (good.empty() || !out) return !good.empty();
    for (size_t i = 0; i < k; i++)
        for (const Occ& o : occ[i]) {
            auto l = std::lower_bound(good.begin(), good.end(), o.start);
            if (l == good.end() || int64_t(*l) > int64_t(o.start) + o.len + d) continue;
            for (uint32_t w = 0; w < o.len; w++) out->push_back(o.start + w);
        }
    return true;
}

bool HitMatcher::eval(const Node& n, std::vector<uint32_t>* out) {
    switch (n.kind) {
        case MatchNode::Item:
            return item(n, out);
        case MatchNode::Near:
            if (!n.titleOnly && near(n, text_, out)) return true;
            return near(n, title_, nullptr);
        case MatchNode::And: {
            size_t mark = out ? out->size() : 0;
            bool ok = true;
            for (size_t i = 0; i < n.kids.size() && ok; i++)
                ok = i < n.positive ? eval(n.kids[i], out) : !eval(n.kids[i], nullptr);
            if (!ok && out) out->resize(mark);
            return ok;
        }
        case MatchNode::Or: {
            bool any = false;
            for (const Node& k : n.kids) {
                any = eval(k, out) || any;
                if (any && !out) break;
            }
            return any;
        }
    }
    return false;
}

void HitMatcher::marks(const std::vector<uint32_t>& text, const std::vector<uint32_t>& textClassed,
                       const std::vector<uint32_t>& title, std::vector<uint32_t>* out) {
    out->clear();
    load(&text_, &text, &textClassed);
    load(&title_, &title, nullptr);
    for (const Node& p : parts_) eval(p, out);
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
}

}  // namespace ft
