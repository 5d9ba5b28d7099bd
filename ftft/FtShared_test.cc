// The shared library, as the server links it: the interface is exported and
// works; nothing else is (checked by linking this test against it alone).
#include <gtest/gtest.h>

#include "ftft.h"

TEST(SharedLibrary, InterfaceWorks) {
    FTAPIH h = nullptr;
    long opts[3] = {4, 0, -1};
    ASSERT_EQ(ftapiini(nullptr, nullptr, opts, 3, &h), 0);
    char buf[FTDATE_BUFSZ];
    long d = ftdhston(h, "Jan 5 1995", FTDM_PARSE);
    EXPECT_NE(ftdhntos(h, ftudnix(h, d, FTDM_NORM), FTDM_YMD, buf), 0);
    EXPECT_STREQ(buf, "19950105");
    unsetenv("FULSEARCH");
    unsetenv("FULPATH");
    EXPECT_EQ(ftbxop(h, "nothing", "r"), 0);
    EXPECT_EQ(ftegerr(h), FTE_NODB);
    EXPECT_EQ(ftegwho(h), FTW_BASE);
    EXPECT_EQ(ftapitrm(h), 0);
}
