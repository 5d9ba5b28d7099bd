// The document folder check; see YmDocAccess.h.
#include "YmDocAccess.h"

#include <limits.h>
#include <stdlib.h>

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

bool YmDocAccess::allowed(const char* path, std::string* resolved) const {
    resolved->clear();
    if (!path || !*path) return false;
    std::string r = realPath(path);
    if (r.empty()) return false;
    for (const std::string& f : _folders) {
        // The folder itself is no document; "/" holds everything.
        if (r.size() > f.size() && r.compare(0, f.size(), f) == 0 &&
            (f == "/" || r[f.size()] == '/')) {
            *resolved = r;
            return true;
        }
    }
    return false;
}
