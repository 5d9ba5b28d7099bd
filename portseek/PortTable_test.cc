// Reading the kernel's socket tables and picking the first free port.
#include "PortTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<int> readTable(const std::string& text) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    EXPECT_NE(f, nullptr);
    std::vector<int> ports;
    if (f) {
        psReadSocketTable(f, ports);
        std::fclose(f);
    }
    return ports;
}

TEST(PortTable, ReadsEverySocketOfBothFormats) {
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
        "   0: 00000000:1774 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0\n"
        "   1: 0100007F:1775 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0\n"
        "   2: 0100007F:1776 0100007F:9C40 06 00000000:00000000 03:00000876 00000000     0\n"
        "garbage that is not a socket line\n"
        "   3: 00000000000000000000000000000000:1777 00000000000000000000000000000000:0000 0A "
        "00000000:00000000 00:00000000 00000000  1000        0 12345 1 0000000000000000 100 0 0 "
        "10 0\n"
        "  4: 00000000000000000000000001000000:FFFF 00000000000000000000000000000000:0000 0A\n";
    EXPECT_EQ(readTable(table), (std::vector<int>{6004, 6005, 6006, 6007, 65535}));
}

// Far more sockets than a fixed small table would hold, all kept.
TEST(PortTable, KeepsAnyNumberOfSockets) {
    std::string table = "  sl  local_address rem_address   st\n";
    std::vector<int> expected;
    for (int i = 0; i < 500; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "%4d: 0100007F:%04X 00000000:0000 0A\n", i, 7000 + i);
        table += line;
        expected.push_back(7000 + i);
    }
    EXPECT_EQ(readTable(table), expected);
    EXPECT_EQ(psFirstFreePort(7000, expected), 7500);
}

TEST(PortTable, FirstFreePort) {
    const std::vector<int> taken = {6004, 6006, 6005, 5000, 65534, 65535};
    const struct {
        int start, expected;
    } cases[] = {
        {1, 1},        {6003, 6003}, {6004, 6007},  {6006, 6007},
        {4999, 4999},  {5000, 5001}, {65533, 65533}, {65534, -1},
        {65536, -1},   {-1, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(psFirstFreePort(c.start, taken), c.expected) << c.start;
}

TEST(PortTable, ParsePort) {
    const struct {
        const char* text;
        bool ok;
        int port;
    } cases[] = {
        {"6004", true, 6004}, {"1", true, 1},       {"65535", true, 65535}, {"007", true, 7},
        {"0", false, 0},      {"65536", false, 0},  {"99999999999999999999", false, 0},
        {"", false, 0},       {"-5", false, 0},     {"+5", false, 0},     {"60a", false, 0},
        {" 60", false, 0},
    };
    for (const auto& c : cases) {
        int port = 0;
        EXPECT_EQ(psParsePort(c.text, port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

}  // namespace
