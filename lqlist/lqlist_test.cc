// Tests of the cursor list, linked against the delivered lqlist.o (not a
// library made of it). Each case is a script of list operations; after every
// step the links are checked both ways and the list is compared with the
// expected picture, the cursor's node in brackets.
//
// The test is linked with --wrap=malloc so that allocation failures can be
// injected into the delivered object without changing it.
#include "lqlist.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {
int failMallocs = 0;  // the next this-many mallocs return null
}

extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size) {
    if (failMallocs > 0) {
        --failMallocs;
        return nullptr;
    }
    return __real_malloc(size);
}

namespace {

// Items are the addresses of single letters, so the picture can name them.
const char kItems[] = "abcxyz";
void* item(char c) { return const_cast<char*>(kItems + (std::string(kItems).find(c))); }
std::string name(void* p) { return p ? std::string(1, *static_cast<char*>(p)) : "-"; }

// Sees the members to check the invariants and draw the list without moving
// the cursor.
class ProbeList : public LqList {
public:
    // "a [b] c": nodes from the first, cursor's node in brackets.
    std::string picture() const {
        std::string s;
        for (LqListNode* n = first; n; n = n->next) {
            if (!s.empty()) s += ' ';
            s += n == current ? "[" + name(n->data) + "]" : name(n->data);
        }
        return s;
    }

    void checkInvariants() const {
        int n = 0;
        bool cursorSeen = current == nullptr;
        LqListNode* prev = nullptr;
        for (LqListNode* node = first; node; prev = node, node = node->next, ++n) {
            ASSERT_EQ(node->prev, prev) << "broken back link at node " << n;
            cursorSeen |= node == current;
        }
        EXPECT_EQ(last, prev);
        EXPECT_EQ(count, n);
        EXPECT_EQ(Count(), n);
        EXPECT_TRUE(cursorSeen) << "cursor points outside the list";
        if (!first) {
            EXPECT_EQ(current, nullptr);
        }
    }
};

// Runs one operation written as "<op> [arg]" and returns its result as text:
// data results as the letter or "-", status and numbers in decimal.
std::string run(ProbeList& l, const std::string& step) {
    std::string op = step.substr(0, step.find(' '));
    std::string arg = step.size() > op.size() + 1 ? step.substr(op.size() + 1) : "";
    void* it = arg.size() == 1 && isalpha(static_cast<unsigned char>(arg[0])) ? item(arg[0]) : nullptr;
    if (op == "next") return name(l.Next());
    if (op == "prev") return name(l.Prev());
    if (op == "front") return std::to_string(l.LocateFront());
    if (op == "end") return std::to_string(l.LocateEnd());
    if (op == "locate") return std::to_string(l.Locate(it));
    if (op == "at") return std::to_string(l.LocatePosition(std::stoi(arg)));
    if (op == "pos") return std::to_string(l.CurrentPosition());
    if (op == "has") return std::to_string(l.IsInList(it));
    if (op == "get") return name(l.Retrieve());
    if (op == "first") return name(l.First());
    if (op == "last") return name(l.Last());
    if (op == "ins") return std::to_string(l.Insert(it));
    if (op == "app") return std::to_string(l.Append(it));
    if (op == "rep") return std::to_string(l.Replace(it));
    if (op == "rm") return name(l.Remove());
    if (op == "clear") return l.Clear(), "";
    if (op == "at-pos") return std::to_string(l.LocatePosition(l.CurrentPosition()));
    ADD_FAILURE() << "unknown step " << step;
    return "";
}

struct Step {
    const char* op;
    const char* result;
    const char* picture;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

// Builds "a b c" with the cursor on c.
const std::vector<Step> kABC = {{"app a", "0", "[a]"}, {"app b", "0", "a [b]"},
                                {"app c", "0", "a b [c]"}};

std::vector<Step> abcThen(std::vector<Step> more) {
    std::vector<Step> s = kABC;
    s.insert(s.end(), more.begin(), more.end());
    return s;
}

const Case kCases[] = {
    {"EmptyList",
     {{"next", "-", ""}, {"prev", "-", ""}, {"front", "1", ""}, {"end", "1", ""},
      {"pos", "0", ""}, {"get", "-", ""}, {"first", "-", ""}, {"last", "-", ""},
      {"rm", "-", ""}, {"rep a", "1", ""}, {"locate a", "1", ""}, {"at 0", "1", ""},
      {"has a", "0", ""}}},
    {"InsertIntoEmpty",
     {{"ins a", "0", "[a]"}, {"first", "a", "[a]"}, {"last", "a", "[a]"}, {"get", "a", "[a]"},
      {"pos", "1", "[a]"}}},
    {"AddWithCursorOffFails",
     {{"ins a", "0", "[a]"}, {"app b", "0", "a [b]"}, {"next", "-", "a b"}, {"ins c", "1", "a b"},
      {"app c", "1", "a b"}, {"pos", "0", "a b"}}},
    {"InsertBeforeAndAppendAfterCursor",
     abcThen({{"locate b", "0", "a [b] c"}, {"ins x", "0", "a [x] b c"}, {"pos", "2", "a [x] b c"},
              {"app y", "0", "a x [y] b c"}, {"front", "0", "[a] x y b c"},
              {"ins z", "0", "[z] a x y b c"}, {"end", "0", "z a x y b [c]"}})},
    {"RemoveFirstPutsCursorOff",
     abcThen({{"front", "0", "[a] b c"}, {"rm", "a", "b c"}, {"pos", "0", "b c"},
              {"next", "b", "[b] c"}})},
    {"RemoveLastMovesToNewLast",
     abcThen({{"rm", "c", "a [b]"}, {"rm", "b", "[a]"}, {"rm", "a", ""}, {"rm", "-", ""},
              {"ins x", "0", "[x]"}})},
    {"RemoveMiddleMovesToNext", abcThen({{"locate b", "0", "a [b] c"}, {"rm", "b", "a [c]"}})},
    {"RemoveOnlyNodeEmpties", {{"ins a", "0", "[a]"}, {"rm", "a", ""}, {"first", "-", ""}}},
    {"LocateFindsFirstOccurrence",
     abcThen({{"app a", "0", "a b c [a]"}, {"locate a", "0", "[a] b c a"},
              {"pos", "1", "[a] b c a"}, {"locate x", "1", "[a] b c a"},
              {"has c", "1", "[a] b c a"}, {"has x", "0", "[a] b c a"}})},
    {"PositionConventions",
     abcThen({{"at 2", "0", "a b [c]"}, {"at 3", "1", "a b [c]"}, {"at -1", "1", "a b [c]"},
              {"at 0", "0", "[a] b c"}, {"pos", "1", "[a] b c"},
              {"at-pos", "0", "a [b] c"}, {"pos", "2", "a [b] c"}})},
    {"NextAndPrevWrapThroughOff",
     {{"app a", "0", "[a]"}, {"app b", "0", "a [b]"}, {"next", "-", "a b"}, {"next", "a", "[a] b"},
      {"next", "b", "a [b]"}, {"next", "-", "a b"}, {"next", "a", "[a] b"},
      {"prev", "-", "a b"}, {"prev", "b", "a [b]"}, {"prev", "a", "[a] b"},
      {"prev", "-", "a b"}}},
    {"ReplaceStoresAtCursor",
     abcThen({{"rep x", "0", "a b [x]"}, {"next", "-", "a b x"}, {"rep y", "1", "a b x"}})},
    {"ClearEmptiesAndAllowsReuse",
     abcThen({{"clear", "", ""}, {"pos", "0", ""}, {"app y", "0", "[y]"}})},
};

class LqListWalk : public ::testing::TestWithParam<Case> {};

TEST_P(LqListWalk, Steps) {
    ProbeList l;
    for (const Step& s : GetParam().steps) {
        SCOPED_TRACE(s.op);
        EXPECT_EQ(run(l, s.op), s.result);
        EXPECT_EQ(l.picture(), s.picture);
        l.checkInvariants();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LqListWalk, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LqList, FailedAllocationLeavesListUnchanged) {
    ProbeList l;
    failMallocs = 1;
    EXPECT_EQ(l.Insert(item('a')), 1);
    EXPECT_EQ(l.picture(), "");
    l.checkInvariants();

    for (const Step& s : kABC) ASSERT_EQ(run(l, s.op), s.result);
    ASSERT_EQ(l.Locate(item('b')), 0);
    for (const char* op : {"ins x", "app x"}) {
        failMallocs = 1;
        EXPECT_EQ(run(l, op), "1") << op;
        EXPECT_EQ(l.picture(), "a [b] c") << op;
        l.checkInvariants();
    }
    EXPECT_EQ(failMallocs, 0) << "the node was not allocated with malloc";
    EXPECT_EQ(l.Append(item('x')), 0);
    EXPECT_EQ(l.picture(), "a b [x] c");

    failMallocs = 1;
    EXPECT_EQ(new LqList, nullptr);
    failMallocs = 0;
    LqList* heap = new LqList;
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap->Insert(item('z')), 0);
    delete heap;  // frees its node too: the leak checker would see otherwise
}

}  // namespace
