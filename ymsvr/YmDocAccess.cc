// The document folder check; see YmDocAccess.h.
#include "YmDocAccess.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "YmServer.h"
#include "YmSrchModel.h"

namespace {

std::string realPath(const std::string& p) {
    char buf[PATH_MAX];
    if (p.empty() || !realpath(p.c_str(), buf)) return "";
    return buf;
}

}  // namespace

void YmDocAccess::addFolder(const std::string& folder) {
    std::string r = realPath(folder);
    if (r.empty()) return;
    for (const std::string& f : _folders)
        if (f == r) return;
    _folders.push_back(r);
}

void YmDocAccess::load() {
    _folders.clear();
    if (!theSrchModel) return;
    for (int i = 0; i < theSrchModel->_totalDBs && i < YM_MAX_DBS; i++)
        if (theSrchModel->_db[i])
            addFolder(reinterpret_cast<const char*>(theSrchModel->_db[i]->_path.data));
}

bool YmDocAccess::inside(const std::string& r) const {
    for (const std::string& f : _folders) {
        // The folder itself is no document; "/" holds everything.
        if (r.size() > f.size() && r.compare(0, f.size(), f) == 0 &&
            (f == "/" || r[f.size()] == '/'))
            return true;
    }
    return false;
}

bool YmDocAccess::allowed(const char* path, std::string* resolved) const {
    resolved->clear();
    if (!path || !*path) return false;
    std::string r = realPath(path);
    if (r.empty() || !inside(r)) return false;
    *resolved = r;
    return true;
}

bool YmDocAccess::allowedTarget(const char* path, std::string* resolved) const {
    resolved->clear();
    if (!path || !*path) return false;
    // Any name that exists, a link that leads nowhere included, must lead to
    // a file inside: writing through a dangling link would create its
    // target wherever it points.
    struct stat st;
    if (lstat(path, &st) == 0 || errno != ENOENT) return allowed(path, resolved);
    std::string p = path;
    size_t slash = p.rfind('/');
    std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return false;
    std::string parent = p.substr(0, slash == std::string::npos ? 0 : slash == 0 ? 1 : slash);
    std::string dir = realPath(parent.empty() ? "." : parent);
    if (dir.empty()) return false;
    std::string r = dir == "/" ? "/" + name : dir + "/" + name;
    if (!inside(r)) return false;
    *resolved = r;
    return true;
}
