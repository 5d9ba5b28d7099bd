// A platform root of a test's own, for tests whose commands leave effects
// (spooled jobs, delivered mail, faxes) or that replace a tool by one that
// fails or waits.
//
//   YmTempDir root;
//   ymMirrorRoot(root.path());                 // the build's tree, linked
//   ymPutTool(root.path(), "usr/bin/nroff", "#!/bin/sh\nexit 3\n");
//   setenv("YM_ROOT", root.path().c_str(), 1); // or the server's env
//
// Every folder of the build's root tree (YM_BIN_DIR/../root) is made anew
// and every file is a symbolic link to the build's, except that the
// spooler, the remote shell and the mail transfer agent are always the
// stand-ins of the tree: a test never reaches the machine's printers or
// mail, and finds jobs in ROOT/var/spool/lp, messages in ROOT/var/mail and
// faxes in ROOT/var/spool/fax. Header only, so that any test can take it.
#ifndef YM_TEST_ROOT_H
#define YM_TEST_ROOT_H

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The build's platform root tree.
inline std::string ymBuildRoot() {
    const char* bin = getenv("YM_BIN_DIR");
    return std::string(bin ? bin : ".") + "/../root";
}

inline void ymMirrorDir(const std::string& from, const std::string& to) {
    mkdir(to.c_str(), 0755);
    DIR* d = opendir(from.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        struct stat st;
        if (lstat((from + "/" + n).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            ymMirrorDir(from + "/" + n, to + "/" + n);
        else
            symlink((from + "/" + n).c_str(), (to + "/" + n).c_str());
    }
    closedir(d);
}

// Writes an executable script at rel below root, replacing what was there.
inline void ymPutTool(const std::string& root, const std::string& rel, const std::string& script) {
    std::string p = root + "/" + rel;
    unlink(p.c_str());
    std::ofstream(p) << script;
    chmod(p.c_str(), 0755);
}

inline void ymMirrorRoot(const std::string& root) {
    std::string build = ymBuildRoot();
    ymMirrorDir(build, root);
    const char* standins[][2] = {
        {"usr/bin/lp", "lp"}, {"usr/bsd/rsh", "rsh"}, {"usr/lib/sendmail", "sendmail"}};
    for (auto& s : standins) {
        std::string p = root + "/" + s[0];
        unlink(p.c_str());
        symlink((build + "/usr/lib/ym-standins/" + s[1]).c_str(), p.c_str());
    }
}

// The names in a folder of the root ("var/spool/lp"), sorted; none when it
// is missing.
inline std::vector<std::string> ymListDir(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (struct dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

inline std::string ymReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#endif
