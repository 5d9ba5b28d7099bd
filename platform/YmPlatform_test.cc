#include "YmPlatform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

TEST(Platform, LiteralPathsWithoutRootAndRootedWithOne) {
    unsetenv("YM_ROOT");
    ymPlatformReset();
    // The first and the last entry: the two tables line up.
    EXPECT_STREQ(ymPath(YmPath::LockInfo), "/usr/tmp/.drusk_flock_info");
    EXPECT_STREQ(ymPath(YmPath::FieldUpd), "/d/druskII/bin/dms/dmFieldUpd");
    EXPECT_STREQ(ymPlatformRoot(), "");

    setenv("YM_ROOT", "/opt/root//", 1);
    ymPlatformReset();
    EXPECT_STREQ(ymPath(YmPath::Nroff), "/opt/root/usr/bin/nroff");
    EXPECT_STREQ(ymPathLiteral(YmPath::Nroff), "/usr/bin/nroff");
    EXPECT_EQ(ymRooted("/usr/tmp/x"), "/opt/root/usr/tmp/x");
    EXPECT_EQ(std::string(getenv("PATH")).rfind("/opt/root/usr/bin:/opt/root/bin:", 0), 0u);
    unsetenv("YM_ROOT");
    ymPlatformReset();
}

// Each tricky value goes through a real shell and must come back as itself.
TEST(Platform, ShellQuoteSurvivesTheShell) {
    const char* values[] = {"plain", "it's", "a b", "$(touch /tmp/ym_pwned)", "`id`",
                            "x; rm -rf /", "\"q\"", "line\nbreak", "", "'''"};
    for (const char* v : values) {
        std::string cmd = "printf %s " + ymShellQuote(v);
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buf[256];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        EXPECT_EQ(pclose(p), 0);
        EXPECT_EQ(out, v);
    }
}
