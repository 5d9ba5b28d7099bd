// Temporary files; see YmTmpFile.h.
#include "YmTmpFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

YmStr ymTmpFile(const char* prefix) {
    const char* dir = getenv("TMPDIR");
    struct stat st;
    if (!dir || !*dir || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) dir = P_tmpdir;
    YmStr name = YmStr(dir) | "/" | (prefix ? prefix : "") | "XXXXXX";
    int fd = mkstemp(reinterpret_cast<char*>(name.data));
    if (fd < 0) return YmStr();
    close(fd);
    return name;
}
