// The document header: parsing of header texts (odd ones included), the text
// it builds, marks, long dates and the file test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "YmDocHdr.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1); }

struct Fields {
    std::string modifyDate, date, owner;
    int type;
    std::string fname, title, code, src;
    int security;
    std::string components, markLine;
};

Fields fieldsOf(const YmDocHdr& h) {
    return {str(h._modifyDate), str(h._date), str(h._owner),      h._type,
            str(h._fname),      str(h._title), str(h._code),      str(h._src),
            h._security,        str(h._components), str(h._markLine)};
}

void expectFields(const YmDocHdr& h, const Fields& w, const std::string& name) {
    Fields g = fieldsOf(h);
    EXPECT_EQ(g.modifyDate, w.modifyDate) << name;
    EXPECT_EQ(g.date, w.date) << name;
    EXPECT_EQ(g.owner, w.owner) << name;
    EXPECT_EQ(g.type, w.type) << name;
    EXPECT_EQ(g.fname, w.fname) << name;
    EXPECT_EQ(g.title, w.title) << name;
    EXPECT_EQ(g.code, w.code) << name;
    EXPECT_EQ(g.src, w.src) << name;
    EXPECT_EQ(g.security, w.security) << name;
    EXPECT_EQ(g.components, w.components) << name;
    EXPECT_EQ(g.markLine, w.markLine) << name;
}

TEST(YmDocHdr, ParsesHeaderTexts) {
    struct Case {
        const char* name;
        const char* text;
        Fields want;
    } cases[] = {
        {"empty", "", {"", "", "", 0, "", "", "", "", 0, "", ""}},
        {"one character", "9", {"", "", "", 0, "", "", "", "", 0, "", ""}},
        {"type, file, marks", "99\n3\n100\n/a/b\n256\n0;12;4\t", {"", "", "", 3, "/a/b", "", "", "", 0, "", "0;12;4\t"}},
        {"blank owner is empty", "97\n \n", {"", "", "", 0, "", "", "", "", 0, "", ""}},
        {"blank date stays", "27\n \n", {"", " ", "", 0, "", "", "", "", 0, "", ""}},
        {"code gives source", "111\nnews 12\n", {"", "", "", 0, "", "", "news 12", "news", 0, "", ""}},
        {"code starting with a blank", "111\n n\n", {"", "", "", 0, "", "", " n", "", 0, "", ""}},
        {"nothing after the marks line is read", "256\nA\n99\n5\n", {"", "", "", 0, "", "", "", "", 0, "", "A"}},
        {"empty value line shifts the pairs", "110\n\n99\n4\n", {"", "", "", 0, "", "99", "", "", 0, "", ""}},
        {"code without value", "99\n5\n100", {"", "", "", 5, "", "", "", "", 0, "", ""}},
        {"numbers read like atoi", "299\n17\n99\n 42abc\n112\n-3\n", {"", "", "", 42, "", "", "", "", -3, "", ""}},
        {"huge number held at the end", "99\n99999999999\n112\nx\n", {"", "", "", INT_MAX, "", "", "", "", 0, "", ""}},
        {"every field",
         "31\n19960102\n27\n19950105x\n97\njo\n99\n4\n100\n/d/f.txt\n110\nA title \n111\nsrc 7\n112\n2\n113\nc1 c2\n"
         "256\n1;5;2\t",
         {"19960102", "19950105x", "jo", 4, "/d/f.txt", "A title ", "src 7", "src", 2, "c1 c2", "1;5;2\t"}},
    };
    for (const Case& c : cases) {
        YmDocHdr h;
        h.init("99\n8\n110\nold\n256\nold");  // every case starts from a filled header
        h.init(c.text);
        expectFields(h, c.want, c.name);
    }
    YmDocHdr h;
    h.init(nullptr);
    EXPECT_EQ(h._type, 0);
}

TEST(YmDocHdr, BuildsHeaderTextAndReadsItBack) {
    YmDocHdr h;
    EXPECT_EQ(std::string(h.hdrLine(0)), "99\n0\n112\n0\n256\n0;0;0");
    EXPECT_EQ(std::string(h.hdrLine(1)), "99\n0\n112\n0\n256\n");

    h.init("31\n19960102\n27\n19950105\n97\njo\n99\n4\n100\n/d/f\n110\nT\n111\nsrc 7\n112\n-2\n113\nc\n256\n1;5;2\t");
    EXPECT_EQ(std::string(h.hdrLine(1)),
              "31\n19960102\n27\n19950105\n97\njo\n99\n4\n100\n/d/f\n110\nT\n111\nsrc 7\n112\n-2\n113\nc\n256\n1;5;2\t");
    EXPECT_EQ(std::string(h.hdrLine(0)),
              "31\n19960102\n27\n19950105\n97\njo\n99\n4\n100\n/d/f\n110\nT\n111\nsrc 7\n112\n-2\n113\nc\n256\n0;0;0");

    // Values set directly may hold what a header line cannot: a newline
    // would add a pair, a form feed would cut the header out of a message.
    YmDocHdr odd;
    odd._title = "a\n99\n5";
    odd._owner = "x\fy";
    odd._type = 3;
    odd._fname = std::string(10000, 'f').c_str();
    odd.setMarkLine("0;1;1\t");
    std::string text = odd.hdrLine(1);
    EXPECT_EQ(text.find('\f'), std::string::npos);
    YmDocHdr back;
    back.init(text.c_str());
    EXPECT_EQ(back._type, 3);
    EXPECT_EQ(str(back._title), "a 99 5");
    EXPECT_EQ(str(back._owner), "x y");
    EXPECT_EQ(back._fname.slength, 10001u);
    EXPECT_EQ(str(back._markLine), "0;1;1\t");

    // The text may be passed back in while it is the header's own.
    back.init(back.hdrLine(1));
    EXPECT_EQ(back._type, 3);
    EXPECT_EQ(back._fname.slength, 10001u);
}

TEST(YmDocHdr, FetchesMarksByNumber) {
    struct Case {
        const char* marks;
        int entry;
        int line, offset, len;
    } cases[] = {
        {"0;12;4\t", 0, 0, 12, 4},
        {"0;12;4\t", 1, -1, -1, -1},
        {"1;5;2\t3;9;1\t", 1, 3, 9, 1},
        {"1;5;2\t\t\t3;9;1", 1, 3, 9, 1},  // a run of tabs is one separator
        {"1;5;2\t3;9;1\t", -1, -1, -1, -1},
        {"0;0;0", 0, -1, -1, -1},          // no marks
        {"2;3", 0, 2, 3, 0},               // a missing number reads 0
        {"\t1;2;3", 0, -1, -1, -1},        // an empty first piece ends the search
        {"", 0, -1, -1, -1},
    };
    for (const Case& c : cases) {
        YmDocHdr h;
        h.setMarkLine(c.marks);
        int* m = h.mark(c.entry);
        EXPECT_EQ(m, h._mark);
        EXPECT_EQ(m[0], c.line) << c.marks << " #" << c.entry;
        EXPECT_EQ(m[1], c.offset) << c.marks << " #" << c.entry;
        EXPECT_EQ(m[2], c.len) << c.marks << " #" << c.entry;
    }
}

TEST(YmDocHdr, FormatsDates) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"19950105", "January 05, 1995"},
        {"19951231123000", "December 31, 1995"},
        {"19951305", "1305, 1995"},
        {"19950005", "0005, 1995"},
        {"1995ab05", "ab05, 1995"},
        {"1995010", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        YmDocHdr h;
        h._tmpDate = "kept";
        EXPECT_STREQ(h.formatDate(c.in), c.out) << c.in;
        if (!*c.out) {
            EXPECT_EQ(str(h._tmpDate), "kept");
        }
    }
    YmDocHdr h;
    h.init("27\n19950501\n31\n19960715\n");
    EXPECT_STREQ(h.date(), "May 01, 1995");
    EXPECT_STREQ(h.modifyDate(), "July 15, 1996");
    h._tmpDate = "19970210";
    EXPECT_STREQ(h.formatDate(h._tmpDate), "February 10, 1997");  // its own work area as input
}

TEST(YmDocHdr, AccessOkTellsWhetherTheFileIsThere) {
    char dir[] = "/tmp/ymdochdrXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/doc";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    struct Case {
        std::string fname;
        int want;
    } cases[] = {
        {file, 6}, {std::string(dir) + "/", 0}, {dir, 6}, {std::string(dir) + "/missing", 0}, {"", 0},
    };
    for (const Case& c : cases) {
        YmDocHdr h;
        h._type = 6;
        h._fname = c.fname.c_str();
        EXPECT_EQ(h.accessOk(), c.want) << c.fname;
    }
    unlink(file.c_str());
    rmdir(dir);
}

TEST(YmDocHdr, SmallHelpers) {
    YmDocHdr h;
    EXPECT_STREQ(h.className(), "YmDocHdr");
    EXPECT_EQ(str(h.convertNum(-5)), "-5\n");
    EXPECT_EQ(h._mark[0], -1);
    h._code = "nosep";
    h.setSrc();
    EXPECT_EQ(str(h._src), "nosep");
}

}  // namespace
