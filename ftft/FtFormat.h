// What a document shows: its type, and its displayed text made by the same
// formatter command lines that the server's document models run.
#ifndef FT_FORMAT_H
#define FT_FORMAT_H

#include <string>

namespace ft {

// Document types (the catalogue's field 99).
enum DocType {
    kText = 1,
    kTroff = 3,
    kMan = 4,
    kMm = 5,
    kPacked = 8,
    kCompressed = 9,
    kRgbImage = 11,
};

// The type from the file's name and its first bytes; 0 for a binary file of
// no known type.
int detectType(const std::string& name, const std::string& head);

// True for the types whose displayed text is the file as stored, or made by
// a formatter; the other types have no text.
bool hasText(int type);

// The shell command that writes the displayed text of a document of that
// type to standard output, the file name quoted; "" when the file is shown
// as stored. Programs are taken under the platform root.
std::string filterCommand(int type, const std::string& path);

// The displayed text of a document. false with *why when the file cannot be
// read or its formatter fails.
bool displayedText(int type, const std::string& path, std::string* text, std::string* why);

// A title from the displayed text: a manual page's NAME line, else the first
// heading (a line underlined with = - ~ or *, or starting with "#"), else the
// first line with a letter; "" when none.
std::string deriveTitle(int type, const std::string& text);

}  // namespace ft

#endif
