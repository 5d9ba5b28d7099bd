// The handler table and local dispatch of the service, without a network.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mps.h"

namespace {

std::vector<std::string> gCalls;

int recordA(void* self, int flag, char* data, int dlen, char**, int*) {
    gCalls.push_back("A:" + std::string(static_cast<const char*>(self)) + ":" + std::to_string(flag) + ":" +
                     std::string(data ? data : "", size_t(dlen)));
    return 1;
}

int recordB(void*, int, char*, int, char**, int*) {
    gCalls.push_back("B");
    return 1;
}

// Removes every handler of its type while the dispatch is under way.
int removeAll(void* self, int, char*, int, char**, int*) {
    gCalls.push_back("R");
    static_cast<MPS*>(self)->Unregister(7, nullptr, nullptr);
    return 1;
}

TEST(SvcList, RegisterFillsFreeSlotsAndGrowsAtThe65th) {
    SvcList l;
    EXPECT_EQ(l._sz, 64);
    for (int i = 0; i < 64; i++) EXPECT_EQ(l.Register(100 + i, recordB, nullptr), i);
    EXPECT_EQ(l.Register(999, recordB, nullptr), 64);
    EXPECT_EQ(l._sz, 128);
    EXPECT_EQ(l._svc[63].svcType, 163);  // old entries kept in front
    EXPECT_EQ(l._svc[65].svcType, 0);

    // A freed slot is reused first, so slot order is not registration order.
    EXPECT_EQ(l.Remove(105, recordB, nullptr), -1);
    EXPECT_EQ(l.Register(555, recordB, nullptr), 5);
}

TEST(SvcList, RemoveMatchesWithNullAsWildcard) {
    char a[] = "a", b[] = "b";
    struct Case {
        const char* name;
        SVCPTR fn;
        void* obj;
        int ret;
        int left;  // entries of type 7 left
    } cases[] = {
        {"both null frees all", nullptr, nullptr, -1, 0},
        {"function only", recordB, nullptr, -1, 2},
        {"object only", nullptr, a, -1, 1},
        {"exact triple", recordA, a, -1, 2},
        {"no match", recordB, b, 0, 3},
    };
    for (const Case& c : cases) {
        SvcList l;
        l.Register(7, recordA, a);
        l.Register(7, recordB, a);
        l.Register(7, recordA, b);
        l.Register(8, recordB, a);
        EXPECT_EQ(l.Remove(7, c.fn, c.obj), c.ret) << c.name;
        int left = 0;
        for (int i = 0; i < l._sz; i++) left += l._svc[i].svcType == 7;
        EXPECT_EQ(left, c.left) << c.name;
        EXPECT_EQ(l._svc[3].svcType, 8) << c.name;
        EXPECT_EQ(l.Remove(9, nullptr, nullptr), 0) << c.name;
    }
}

TEST(MPS, DispatchCallsEveryHandlerInSlotOrder) {
    MPS mps;
    char one[] = "1", two[] = "2";
    mps.Register(7, recordA, one);
    mps.Register(7, recordA, one);  // duplicates run twice
    mps.Register(8, recordB, nullptr);
    mps.Register(7, recordA, two);
    gCalls.clear();
    char data[] = "xyz";
    EXPECT_EQ(mps.Send(7, 3, data, 2, nullptr, nullptr), 0);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"A:1:3:xy", "A:1:3:xy", "A:2:3:xy"}));
}

TEST(MPS, HandlerMayChangeTheTableDuringDispatch) {
    MPS mps;
    mps.Register(7, removeAll, &mps);
    mps.Register(7, recordB, nullptr);
    gCalls.clear();
    mps.Send(7, nullptr, nullptr);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"R", "B"}));
    gCalls.clear();
    mps.Send(7, nullptr, nullptr);  // nothing left: goes to the (absent) wire
    EXPECT_TRUE(gCalls.empty());
}

TEST(MPS, WithoutInitEverythingFailsWithCode16) {
    MPS mps;
    int rlen = 5;
    char* res = reinterpret_cast<char*>(&rlen);
    EXPECT_EQ(mps.Send(42, 0, &res, &rlen), -1);
    EXPECT_EQ(mps.Errno(), MPS_NOINIT);
    EXPECT_EQ(mps.Recv(&res), -1);
    EXPECT_EQ(res, nullptr);
    EXPECT_EQ(mps.GetType(), -1);
    EXPECT_EQ(mps.GetSock(), -1);
    EXPECT_EQ(mps.Server(), nullptr);
    mps.Close();  // harmless
}

TEST(MPS, TypeZeroNeverReachesFreeSlots) {
    // Type 0 marks free entries; a frame of type 0 must not call them.
    MPS mps;
    mps.Register(5, recordB, nullptr);
    gCalls.clear();
    EXPECT_EQ(mps.Send(0, 1, nullptr, nullptr), -1);
    EXPECT_EQ(mps.Errno(), MPS_NOINIT);
    EXPECT_TRUE(gCalls.empty());
}

}  // namespace
