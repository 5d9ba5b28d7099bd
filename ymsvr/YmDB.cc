// One full-text database; see YmDB.h.
#include "YmDB.h"

#include <sys/stat.h>
#include <syslog.h>

#include <cstdlib>

#include "YmFtApi.h"
#include "YmText.h"

YmDB::YmDB() : _baseH(0), _modTime(0), _modTimeNs(0) {}

YmDB::~YmDB() {}

YmBool YmDB::init(const char* dbname) {
    if (dbname) _name = dbname;
    _refFile.resize(0, 0);
    _settings.resize(0, 0);
    _modTime = 0;
    _modTimeNs = 0;
    _baseH = 0;

    _FTFIG fig;
    char settings[FTFG_BUFSZ];
    if (ftfgsh(ftapih, ymText(_name), &fig) != 0 || ftfgrd(ftapih, &fig, settings) != 0) return 0;
    settings[sizeof settings - 1] = '\0';
    _settings = settings;
    // ftfgrk's answer lives only until its next call: copy each at once.
    const char* pth = ftfgrk(ftapih, "PTH", settings);
    if (!pth) return 0;
    _path = pth;
    const char* ref = ftfgrk(ftapih, "REF", settings);
    if (!ref) return 0;
    _refFile = ref;

    // The engine knows the database by the reference file's base name: the
    // second piece from the end when the path is cut at every '.' and '/'
    // ("/data/settings/manuals.ref" gives "manuals"). A reference file
    // without such a piece leaves the name as it was asked for.
    unsigned int posn = _refFile.slength - 1;
    _refFile.tokenR(posn, "./");
    YmStr base = _refFile.tokenR(posn, "./");
    if (base.slength > 1) _name = base;

    getTime();
    return 1;
}

YmBool YmDB::open(const char* mode) {
    _baseH = ftbxop(ftapih, ymText(_name), mode);
    if (_baseH != 0) return 1;
    syslog(LOG_USER | LOG_INFO, "ymsvr: cannot open database-%s %d %d %d", ymText(_name),
           ftegerr(ftapih), ftegsub(ftapih), ftegwho(ftapih));
    return 0;
}

void YmDB::close() {
    if (_baseH != 0 && ftbhcl(ftapih, _baseH) != 0)
        syslog(LOG_USER | LOG_INFO, "ymsvr: cannot close database-%s %d %d %d", ymText(_name),
               ftegerr(ftapih), ftegsub(ftapih), ftegwho(ftapih));
    _baseH = 0;
}

YmBool YmDB::getTime() {
    struct stat st;
    time_t t = 0;
    long ns = 0;
    if (stat(ymText(_refFile), &st) == 0) {
        t = st.st_mtim.tv_sec;
        ns = st.st_mtim.tv_nsec;
    }
    YmBool changed = t != _modTime || ns != _modTimeNs;
    _modTime = t;
    _modTimeNs = ns;
    return changed;
}

YmBool YmDB::sameSettings(const YmDB& other) const {
    return _name == other._name && _settings == other._settings;
}

const char* ymDataDirsValue() {
    const char* v = getenv("FULSEARCH");
    if (!v || !*v) v = getenv("FULPATH");
    return v;
}

std::vector<std::string> ymSplitDataDirs(const char* value) {
    std::vector<std::string> dirs;
    if (!value) return dirs;
    std::string s(value);
    size_t i = 0;
    while ((i = s.find_first_not_of(",;: ", i)) != std::string::npos) {
        size_t e = s.find_first_of(",;: ", i);
        if (e == std::string::npos) e = s.size();
        dirs.push_back(s.substr(i, e - i));
        i = e;
    }
    return dirs;
}
