// Date reading and printing; see FtDate.h.
#include "FtDate.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace ft {

namespace {

bool leap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

long daysIn(long y, long m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to y-m-d (proleptic Gregorian calendar).
long daysFromCivil(long y, long m, long d) {
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long z, long* y, long* m, long* d) {
    z += 719468;
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long doe = z - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp + (mp < 10 ? 3 : -9);
    *y = yoe + era * 400 + (*m <= 2);
}

// Reads exactly n digits.
bool digits(const char*& p, int n, long* v) {
    long r = 0;
    for (int i = 0; i < n; i++) {
        if (!isdigit((unsigned char)p[i])) return false;
        r = r * 10 + (p[i] - '0');
    }
    p += n;
    *v = r;
    return true;
}

// Reads 1 or 2 digits.
bool smallNumber(const char*& p, long* v) {
    if (!isdigit((unsigned char)*p)) return false;
    long r = *p++ - '0';
    if (isdigit((unsigned char)*p)) r = r * 10 + (*p++ - '0');
    *v = r;
    return true;
}

bool onlyBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') p++;
    return *p == '\0';
}

const char* const kMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                               "july",    "august",   "september", "october", "november", "december"};

}  // namespace

long makeDate(long y, long m, long d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysIn(y, m)) return 0;
    return y * 10000 + m * 100 + d;
}

long parseDate(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t') p++;
    long y, m, d;
    const char* q = p;
    // YYYYMMDD
    if (digits(q, 4, &y) && digits(q, 2, &m) && digits(q, 2, &d) && onlyBlanks(q)) return makeDate(y, m, d);
    // YYYY-MM-DD
    q = p;
    if (digits(q, 4, &y) && *q == '-' && smallNumber(++q, &m) && *q == '-' && smallNumber(++q, &d) &&
        onlyBlanks(q))
        return makeDate(y, m, d);
    // MM/DD/YYYY
    q = p;
    if (smallNumber(q, &m) && *q == '/' && smallNumber(++q, &d) && *q == '/' && digits(++q, 4, &y) &&
        onlyBlanks(q))
        return makeDate(y, m, d);
    // Month D[,] YYYY
    q = p;
    size_t n = 0;
    while (isalpha((unsigned char)q[n])) n++;
    if (n < 3) return 0;
    m = 0;
    for (int i = 0; i < 12; i++) {
        size_t full = strlen(kMonths[i]);
        if ((n == 3 || n == full) && n <= full && strncasecmp(q, kMonths[i], n) == 0) m = i + 1;
    }
    if (!m) return 0;
    q += n;
    if (*q == '.') q++;
    if (*q != ' ') return 0;
    while (*q == ' ') q++;
    if (!smallNumber(q, &d)) return 0;
    if (*q == ',') q++;
    if (*q != ' ') return 0;
    while (*q == ' ') q++;
    if (!digits(q, 4, &y) || !onlyBlanks(q)) return 0;
    return makeDate(y, m, d);
}

long dateFromUnix(time_t t) {
    long days = long(t / 86400);
    if (t % 86400 < 0) days--;
    long y, m, d;
    civilFromDays(days, &y, &m, &d);
    return makeDate(y, m, d);
}

time_t unixFromDate(long date) {
    long y = date / 10000, m = date / 100 % 100, d = date % 100;
    if (!makeDate(y, m, d)) return 0;
    return time_t(daysFromCivil(y, m, d)) * 86400;
}

std::string printDate(long date) {
    if (date <= 0 || !makeDate(date / 10000, date / 100 % 100, date % 100)) return "";
    char buf[24];
    snprintf(buf, sizeof buf, "%08ld", date);
    return buf;
}

}  // namespace ft
