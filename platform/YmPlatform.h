// The fixed absolute paths of the system, in one table, and the platform root
// they are looked up under.
//
// Every program, command line and fixed file the server and its tools use is
// named here by its literal path ("/usr/bin/nroff", "/usr/tmp/..."). When the
// environment variable YM_ROOT names a folder, each path is taken below that
// folder instead (YM_ROOT=/opt/x turns "/usr/bin/nroff" into
// "/opt/x/usr/bin/nroff"); without it the literal paths are used. Tests and
// the demo point YM_ROOT at a tree generated into the build, so nothing on the
// host is written over.
#ifndef YM_PLATFORM_H
#define YM_PLATFORM_H

#include <string>

enum class YmPath {
    LockInfo,   // "/usr/tmp/.drusk_flock_info": who holds a document lock
    TmpDir,     // "/usr/tmp": the server's temporary files
    Kill,       // "/bin/kill"
    Cat,        // "/bin/cat"
    Cp,         // "/bin/cp"
    Tbl,        // "/usr/bin/tbl"
    Nroff,      // "/usr/bin/nroff"
    Col,        // "/usr/bin/col"
    Pcat,       // "/usr/bin/pcat"
    Zcat,       // "/usr/bsd/zcat"
    TmacAn,     // "/usr/lib/tmac/tmac.an": the man macros nroff is given
    Lp,         // "/usr/bin/lp"
    Rsh,        // "/usr/bsd/rsh"
    Sendmail,   // "/usr/lib/sendmail"
    Slidra,     // "/usr/sbin/slidra": presentation viewer
    Scenview,   // "/usr/sbin/scenview": 3-D scene viewer
    FieldUpd,   // "/d/druskII/bin/dms/dmFieldUpd": catalogue field update
    Count_
};

// The literal path, as the system names it.
const char* ymPathLiteral(YmPath id);

// The path under the platform root. The pointer stays valid for the life of
// the process and is safe to read from a signal handler once ymPlatformInit()
// (or any ymPath call) has run.
const char* ymPath(YmPath id);

// The platform root without a trailing slash; "" when none is set.
const char* ymPlatformRoot();

// Reads YM_ROOT and fills the table. With a root, also puts the root's
// /usr/bin and /bin in front of PATH, so that command lines naming tools
// without a folder ("sendfax", "text2fax") find the root's tools first.
// Idempotent; call it early in main, before signal handlers are installed.
void ymPlatformInit();

// Re-reads YM_ROOT (for tests that change it).
void ymPlatformReset();

// Any absolute path under the root: ymRooted("/usr/tmp/x") -> ROOT/usr/tmp/x.
std::string ymRooted(const char* literal);

// A value quoted for a POSIX shell command line: 'it'\''s' for it's. The
// result is one word whatever the value holds (quotes, $( ), backticks, ;,
// newlines), so it can run nothing.
std::string ymShellQuote(const std::string& value);

#endif
