// Conversions between the system's string class and the standard library's,
// for the code that builds command lines, paths and messages with
// std::string (the document models, the fax request, the document service
// and the client's document commands).
#ifndef YM_TEXT_H
#define YM_TEXT_H

#include <string>

#include "YmStr.h"

// The characters of s; valid while s is unchanged.
inline const char* ymText(const YmStr& s) { return reinterpret_cast<const char*>(s.data); }

// All slength - 1 bytes of s, NUL bytes inside included.
inline std::string ymStd(const YmStr& s) {
    return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

// A YmStr holding exactly the bytes of s.
inline YmStr ymStr(const std::string& s) { return YmStr(s.data(), unsigned(s.size())); }

#endif
