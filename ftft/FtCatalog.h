// The catalogue file that ftindex takes: tab-separated, the first line names
// the columns (file, type, title, date, modified, owner, security,
// components; file required), one document a line.
#ifndef FT_CATALOG_H
#define FT_CATALOG_H

#include <map>
#include <string>

namespace ft {

struct CatalogEntry {
    int line = 0;
    bool hasType = false, hasTitle = false, hasDate = false, hasModified = false, hasOwner = false,
         hasSecurity = false, hasComps = false;
    int type = 0;
    std::string title;
    long date = 0, modified = 0;
    std::string owner;
    long security = 0;
    std::string comps;
    std::string raw;  // the line, to notice a changed entry
};

// Reads a catalogue; entries by relative file name. On an error, false and
// *why names the file and the line. Files are not looked at here.
bool readCatalog(const std::string& path, std::map<std::string, CatalogEntry>* out, std::string* why);

}  // namespace ft

#endif
