// The document folder check; see YmDocAccess.h.
#include "YmDocAccess.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "YmInitModel.h"
#include "YmServer.h"
#include "YmSrchModel.h"
#include "YmText.h"

namespace {

std::string realPath(const std::string& p) {
    char buf[PATH_MAX];
    if (p.empty() || !realpath(p.c_str(), buf)) return "";
    return buf;
}

void addResolved(std::vector<std::string>* to, const std::string& folder) {
    std::string r = realPath(folder);
    if (r.empty()) return;
    for (const std::string& f : *to)
        if (f == r) return;
    to->push_back(r);
}

// The real path of the folder that p names a file in, and the file's name;
// false when the name is empty, "." or "..", or the folder does not exist.
bool splitParent(const std::string& p, std::string* dir, std::string* name) {
    size_t slash = p.rfind('/');
    *name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (name->empty() || *name == "." || *name == "..") return false;
    std::string parent = p.substr(0, slash == std::string::npos ? 0 : slash == 0 ? 1 : slash);
    *dir = realPath(parent.empty() ? "." : parent);
    return !dir->empty();
}

std::string join(const std::string& dir, const std::string& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

// True when the resolved path r is the folder f or lies below it.
bool within(const std::string& r, const std::string& f) {
    return r.compare(0, f.size(), f) == 0 &&
           (r.size() == f.size() || f == "/" || r[f.size()] == '/');
}

}  // namespace

void YmDocAccess::addFolder(const std::string& folder) { addResolved(&_folders, folder); }

void YmDocAccess::addDataDir(const std::string& dir) { addResolved(&_dataDirs, dir); }

void YmDocAccess::load() {
    _folders.clear();
    _dataDirs.clear();
    if (theInitModel)
        for (unsigned int i = 0; i < theInitModel->_publicPth.length(); i++)
            addDataDir(ymStd(theInitModel->_publicPth[i]));
    if (!theSrchModel) return;
    for (int i = 0; i < theSrchModel->_totalDBs && i < YM_MAX_DBS; i++)
        if (theSrchModel->_db[i]) addFolder(ymText(theSrchModel->_db[i]->_path));
}

bool YmDocAccess::inside(const std::string& r) const {
    // The folder itself is no document.
    for (const std::string& f : _folders)
        if (r.size() > f.size() && within(r, f)) return true;
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
    std::string dir, name;
    if (!splitParent(path, &dir, &name)) return false;
    std::string r = join(dir, name);
    if (!inside(r)) return false;
    *resolved = r;
    return true;
}

bool YmDocAccess::allowedCopyTarget(const char* target, const char* source,
                                    std::string* resolved) const {
    resolved->clear();
    if (!target || !*target || !source) return false;
    std::string t = target;
    struct stat st;
    // cp writes through a link to wherever it points.
    if (lstat(t.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return false;
    // Into an existing folder, cp writes the source's name there.
    if (lstat(t.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::string src = source;
        t = join(t, src.substr(src.rfind('/') + 1));
        if (lstat(t.c_str(), &st) == 0 && (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)))
            return false;
    }
    std::string dir, name;
    if (!splitParent(t, &dir, &name)) return false;
    for (const std::vector<std::string>* list : {&_folders, &_dataDirs})
        for (const std::string& f : *list)
            if (within(dir, f)) return false;
    *resolved = join(dir, name);
    return true;
}
