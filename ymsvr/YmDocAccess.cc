// The document folder check; see YmDocAccess.h.
#include "YmDocAccess.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "YmFtApi.h"
#include "YmServer.h"
#include "YmSrchModel.h"
#include "ftft.h"

namespace {

std::string realPath(const std::string& p) {
    char buf[PATH_MAX];
    if (p.empty() || !realpath(p.c_str(), buf)) return "";
    return buf;
}

// The database a settings file announces: NAME from "NAME.cfg" or
// "X.NAME.cfg"; "" for a name of fewer than 5 characters, a hidden file or
// another extension.
std::string announced(const char* file) {
    size_t n = strlen(file);
    if (n < 5 || file[0] == '.') return "";
    const char* last = strrchr(file, '.');
    if (!last || strcmp(last, ".cfg") != 0) return "";
    std::string stem(file, size_t(last - file));
    size_t prev = stem.rfind('.');
    return prev == std::string::npos ? stem : stem.substr(prev + 1);
}

// The engine handle for reading settings: the search model's when the
// engine runs, else one of our own, kept for the life of the process.
FTAPIH settingsEngine() {
    if (ftapih) return ftapih;
    static FTAPIH own = nullptr;
    if (!own) {
        long opts[3] = {4, 0, -1};
        if (ftapiini(nullptr, nullptr, opts, 3, &own) != 0) own = nullptr;
    }
    return own;
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
    // The search model's table holds, besides the announced databases, the
    // ones a search named and the engine found.
    if (theSrchModel) {
        for (int i = 0; i < theSrchModel->_totalDBs && i < YM_MAX_DBS; i++)
            if (theSrchModel->_db[i]) addFolder(reinterpret_cast<const char*>(theSrchModel->_db[i]->_path.data));
    }
    const char* dirs = getenv("FULSEARCH");
    if (!dirs) dirs = getenv("FULPATH");
    FTAPIH h = settingsEngine();
    if (!dirs || !h) return;
    std::string list = dirs;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find_first_of(",;: ", pos);
        if (end == std::string::npos) end = list.size();
        std::string dir = list.substr(pos, end - pos);
        pos = end + 1;
        if (dir.empty()) continue;
        DIR* d = opendir(dir.c_str());
        if (!d) continue;
        while (struct dirent* e = readdir(d)) {
            std::string name = announced(e->d_name);
            if (name.empty()) continue;
            _FTFIG fig;
            char buf[FTFG_BUFSZ];
            if (ftfgsh(h, name.c_str(), &fig) != 0 || ftfgrd(h, &fig, buf) != 0) continue;
            const char* pth = ftfgrk(h, "PTH", buf);
            if (pth) addFolder(pth);
        }
        closedir(d);
    }
}

bool YmDocAccess::allowed(const char* path, std::string* resolved) const {
    resolved->clear();
    if (!path || !*path) return false;
    std::string r = realPath(path);
    if (r.empty()) return false;
    for (const std::string& f : _folders) {
        // The folder itself is no document; "/" holds everything.
        if (r.size() > f.size() && r.compare(0, f.size(), f) == 0 && (f == "/" || r[f.size()] == '/')) {
            *resolved = r;
            return true;
        }
    }
    return false;
}
