// Calendar dates as the engine keeps them: a long written YYYYMMDD.
#ifndef FT_DATE_H
#define FT_DATE_H

#include <ctime>
#include <string>

namespace ft {

// The date as YYYYMMDD when y-m-d is a real date from year 1 to 9999, else 0.
long makeDate(long y, long m, long d);

// Reads "YYYYMMDD", "YYYY-MM-DD", "MM/DD/YYYY", "Month D YYYY" and
// "Month D, YYYY" (month names full or three letters, any case); leading and
// trailing blanks allowed. 0 for anything else.
long parseDate(const char* text);

// A Unix time's date (UTC), and back (00:00 UTC); 0 when out of range.
long dateFromUnix(time_t t);
time_t unixFromDate(long date);

// "YYYYMMDD", or "" for an invalid date.
std::string printDate(long date);

}  // namespace ft

#endif
