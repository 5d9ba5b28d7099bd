#include "YmArray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <pthread.h>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "YmStrArray.h"

namespace {

// Typed arrays written with the macro, as other parts of the system do.
class IntArray : public YmArray {
    YM_ARRAY_MEMBERS(IntArray, int)

protected:
    int compareElements(void* a, void* b) const override {
        int x = *static_cast<int*>(a), y = *static_cast<int*>(b);
        return (x > y) - (x < y);
    }
};

class PNode;
class PNodeArray : public YmArray {
    YM_ARRAY_MEMBERS(PNodeArray, PNode*)

protected:
    void createElements(void* at, unsigned int bytes) const override { memset(at, 0, bytes); }
};

// Larger than both the sort's and swap's own temporaries.
struct Big {
    unsigned char b[2000];
};
class BigArray : public YmArray {
    YM_ARRAY_MEMBERS(BigArray, Big)
};

const unsigned kStr = sizeof(YmStr);

YmStrArray strArray(std::initializer_list<const char*> items) {
    YmStrArray a;
    for (const char* s : items) {
        YmStr e(s);
        a.append(&e);
    }
    return a;
}

std::vector<std::string> strings(const YmStrArray& a) {
    std::vector<std::string> v;
    for (unsigned i = 0; i < a.length(); i++) v.emplace_back(reinterpret_cast<const char*>(a[i].data));
    return v;
}

std::vector<int> ints(const IntArray& a) {
    std::vector<int> v;
    for (unsigned i = 0; i < a.length(); i++) v.push_back(a[i]);
    return v;
}

IntArray intArray(const std::vector<int>& v) {
    IntArray a;
    for (int x : v) a.append(&x);
    return a;
}

using V = std::vector<std::string>;

}  // namespace

TEST(YmArray, Growth) {
    YmStrArray a;
    EXPECT_STREQ(a.className(), "ARRAY");
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(a.maxi, 0u);
    EXPECT_EQ(static_cast<void*>(a.data), nullptr);

    YmStr e("e");
    a.append(&e);
    EXPECT_EQ(a.maxi, 4 * kStr);
    for (int i = 0; i < 3; i++) a.append(&e);
    EXPECT_EQ(a.maxi, 4 * kStr);
    a.append(&e);
    EXPECT_EQ(a.maxi, 8 * kStr);
    EXPECT_EQ(a.length(), 5u);

    a.setIncrementSize(0);
    EXPECT_EQ(a.incrementsize, 4u);
    a.setMaxLength(0);  // trims to the elements in use
    EXPECT_EQ(a.maxi, 5 * kStr);
    a.insert(&e, a.length());  // a full array grows by one element on insert
    EXPECT_EQ(a.maxi, 6 * kStr);
    a.setIncrementSize(2);
    a.append(&e);
    EXPECT_EQ(a.maxi, 8 * kStr);

    YmStrArray b = strArray({"x", "y", "z"});
    a.append(b);  // grows to exactly what is needed
    EXPECT_EQ(a.maxi, 10 * kStr);
    EXPECT_EQ(strings(a), V({"e", "e", "e", "e", "e", "e", "e", "x", "y", "z"}));

    a.setMaxLength(20);
    EXPECT_EQ(a.maxi, 20 * kStr);
    a.resize(12);
    EXPECT_EQ(a.maxi, 12 * kStr);
    EXPECT_EQ(strings(a).back(), "");
    a.resize(2);
    EXPECT_EQ(strings(a), V({"e", "e"}));
    EXPECT_EQ(a.maxi, 2 * kStr);

    YmStrArray empty;
    empty.setMaxLength(3);
    empty.setMaxLength(0);
    EXPECT_EQ(static_cast<void*>(empty.data), nullptr);
}

TEST(YmArray, CountConstructorBuildsTheElements) {
    YmStrArray s(3);
    ASSERT_EQ(s.length(), 3u);
    for (unsigned i = 0; i < 3; i++) EXPECT_EQ(s[i].data, &YmStr::emptyString);
    PNodeArray p(3);
    for (unsigned i = 0; i < 3; i++) EXPECT_EQ(p[i], nullptr);
    EXPECT_STREQ(p.className(), "ARRAY");
}

TEST(YmArray, InsertRemoveAndPieces) {
    YmStrArray a = strArray({"b", "d"});
    YmStr e("a");
    a.insert(&e, 0);
    e = "c";
    a.insert(&e, 2);
    YmStrArray tail = strArray({"e", "f"});
    a.insert(tail, 4);
    EXPECT_EQ(strings(a), V({"a", "b", "c", "d", "e", "f"}));

    EXPECT_EQ(strings(a.extract(1, 2)), V({"b", "c"}));
    EXPECT_EQ(strings(a.head(2)), V({"a", "b"}));
    EXPECT_EQ(strings(a.tail(2)), V({"e", "f"}));
    YmStrArray piece = a.cut(1, 2);
    EXPECT_EQ(strings(piece), V({"b", "c"}));
    EXPECT_EQ(piece.maxi, 2 * kStr);
    EXPECT_EQ(strings(a), V({"a", "d", "e", "f"}));
    EXPECT_EQ(a.maxi, 6 * kStr);  // cutting keeps the capacity

    a.remove(1, 1);
    EXPECT_EQ(strings(a), V({"a", "e", "f"}));
    a.remove(100, 0);  // a length of 0 is not checked
    EXPECT_EQ(a.cut(0, 0).length(), 0u);
    EXPECT_EQ(a.length(), 3u);
    for (void* p : {a.raw_extract(0, 0), a.raw_cut(0, 0), a.raw_head(0), a.raw_tail(0)}) EXPECT_EQ(p, nullptr);
    EXPECT_EQ(YmStrArray().raw_copy(), nullptr);

    // A raw block is the caller's: adopt it, or destroy its elements and free it.
    void* raw = a.raw_tail(2);
    YmStrArray adopted(kStr, 2 * kStr, raw);
    EXPECT_EQ(strings(adopted), V({"e", "f"}));
    void* moved = a.raw_cut(0, 1);
    static_cast<YmStr*>(moved)->~YmStr();
    free(moved);

    a.remove(0, a.length());
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(a.maxi, 6 * kStr);
}

// An element (or array) handed in may be this array's own, in a full block
// that has to move.
TEST(YmArray, SourcesInsideTheArray) {
    YmStrArray a = strArray({"a", "b", "c", "d"});
    ASSERT_EQ(a.length() * kStr, a.maxi);
    a.append(&a[1]);
    EXPECT_EQ(strings(a), V({"a", "b", "c", "d", "b"}));
    a.setMaxLength(0);
    a.insert(&a[2], 1);
    EXPECT_EQ(strings(a), V({"a", "c", "b", "c", "d", "b"}));
    a.setMaxLength(0);
    a.insert(&a[0], 3);
    EXPECT_EQ(strings(a), V({"a", "c", "b", "a", "c", "d", "b"}));

    YmStrArray s = strArray({"x", "y", "z"});
    s.insert(s, 1);
    EXPECT_EQ(strings(s), V({"x", "x", "y", "z", "y", "z"}));
    YmStrArray t = strArray({"p", "q"});
    t.append(t);
    EXPECT_EQ(strings(t), V({"p", "q", "p", "q"}));
}

TEST(YmArray, Find) {
    YmStrArray a = strArray({"x", "y", "x"});
    YmStr x("x"), z("z");
    EXPECT_EQ(a.find(&x), 0);
    EXPECT_EQ(a.find(&x, 1), 2);
    EXPECT_EQ(a.find(&z), -1);
    EXPECT_EQ(a.find(&x, a.length()), -1);
    EXPECT_EQ(YmStrArray().find(&x, 0), -1);
}

TEST(YmArray, SortAgreesWithStdSort) {
    std::mt19937 rng(7);
    std::vector<std::vector<int>> inputs = {{}, {1}, {2, 1}, {5, 5, 5, 5, 5, 5, 5}, {1, 2, 3, 4, 5}, {5, 4, 3, 2, 1}};
    for (int n : {3, 10, 33, 100, 1000}) {
        std::vector<int> v(n);
        for (int& x : v) x = int(rng() % (n / 3 + 1)) - n / 6;  // many duplicates, negatives
        inputs.push_back(v);
    }
    for (auto& in : inputs) {
        IntArray a = intArray(in);
        a.qsort();
        std::vector<int> expected = in;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ints(a), expected) << "n=" << in.size();
    }

    // A range sorts only itself.
    IntArray part = intArray({9, 8, 3, 1, 2, 0});
    part.qsort(2, 3);
    EXPECT_EQ(ints(part), std::vector<int>({9, 8, 1, 2, 3, 0}));

    std::vector<std::string> words;
    YmStrArray s;
    for (int i = 0; i < 500; i++) {
        std::string w(1 + rng() % 6, 'a');
        for (char& c : w) c = char('a' + rng() % 4);
        words.push_back(w);
        YmStr e(w.c_str());
        s.append(&e);
    }
    s.qsort();
    std::sort(words.begin(), words.end());
    EXPECT_EQ(strings(s), words);
}

// Reverse-sorted input makes every partition lopsided. Sorting it on a small
// stack shows that the recursion only ever takes the smaller side; one level
// per two elements would overflow this stack.
TEST(YmArray, SortOfReverseInputStaysShallow) {
    struct Job {
        std::vector<int> v;
        std::vector<int> sorted;
        static void* run(void* p) {
            Job* job = static_cast<Job*>(p);
            IntArray a = intArray(job->v);
            a.qsort();
            job->sorted = ints(a);
            return nullptr;
        }
    } job;
    for (int i = 6000; i > 0; i--) job.v.push_back(i);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, &attr, &Job::run, &job), 0);
    pthread_join(t, nullptr);
    pthread_attr_destroy(&attr);
    std::sort(job.v.begin(), job.v.end());
    EXPECT_EQ(job.sorted, job.v);
}

TEST(YmArray, LargeElementsSortAndSwapThroughTheHeap) {
    BigArray a;
    for (unsigned char v : {3, 1, 2}) {
        Big b;
        memset(b.b, v, sizeof b.b);
        a.append(&b);
    }
    a.qsort();
    EXPECT_EQ(a[0].b[1999], 1);
    EXPECT_EQ(a[2].b[0], 3);
    a.swap(0, 2);
    a.swap(1, 1);
    EXPECT_EQ(a[0].b[0], 3);
    EXPECT_EQ(a[1].b[0], 2);
    EXPECT_EQ(a[2].b[0], 1);
}

TEST(YmArray, CopyIsDeepWithCapacityOfItsCount) {
    YmStrArray a = strArray({"one", "two", "three"});
    a.setMaxLength(10);
    YmStrArray c(a);
    EXPECT_EQ(c.maxi, c.num);
    EXPECT_EQ(strings(c), strings(a));
    EXPECT_NE(c[0].data, a[0].data);
    a[0] = "changed";
    EXPECT_EQ(strings(c)[0], "one");
    YmStr e("four");
    c.append(&e);
    EXPECT_EQ(c.maxi, 7 * kStr);
    YmStrArray none;
    YmStrArray noneCopy(none);
    EXPECT_EQ(static_cast<void*>(noneCopy.data), nullptr);
}

TEST(YmAddress, OffsetsAndOrder) {
    unsigned char buf[8];
    YmAddress a(buf), b = a + 3u;
    EXPECT_EQ(b.ptr, buf + 3);
    EXPECT_TRUE(a < b && b > a && a <= a && a != b);
    b -= static_cast<unsigned short>(3);
    EXPECT_TRUE(a == b);
    EXPECT_EQ(static_cast<void*>(a + 5ul), buf + 5);
}

TEST(YmArrayDeathTest, IndexAssertionNamesTheElementType) {
    PNodeArray p(2);
    EXPECT_DEATH((void)p[2], "index\\*sizeof\\( PNode\\*\\) < num");
}
