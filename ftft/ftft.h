/*
 * ftft.h: the full-text engine's C interface.
 *
 * The server and the tools reach every full-text database through these
 * calls. A database ("base") is a folder of documents indexed by ftindex; its
 * settings file NAME.cfg sits in a settings directory, and the index file
 * NAME.ftdb and the reference file NAME.ref sit beside it. Every call but
 * ftapiini takes the engine handle that ftapiini returned.
 *
 * Conventions:
 *  - Calls that return int give 0 for success and a non-zero error number
 *    otherwise, unless their comment says differently. The last error of the
 *    process is kept for ftegerr (number), ftegsub (sub-code: the storage
 *    layer's result code, or 0) and ftegwho (the component, FTW_*). A call
 *    that succeeds does not clear it; ftapiini and ftshstrt do.
 *  - No call keeps a pointer to its caller's memory beyond its return, except
 *    where a comment says so. Texts returned by the engine stay the engine's.
 *  - No call blocks for long: a search runs in slices (ftshresm), and the
 *    storage waits for a writer at most a few seconds before it reports an
 *    error.
 *  - The engine starts no threads and installs no signal handlers. Handles
 *    opened before a fork() are reopened by the child on first use.
 *
 * The query text (ftshstrt) is a sequence of items separated by blanks or
 * newlines:
 *   WORD               a word; "\C-w " inside it is any run of characters,
 *                      "\C!w " exactly one character
 *   \C0t ITEMS \C}     all items        \C0u ITEMS \C}   any item
 *   \C0x ITEM          the item negated (first in a group or alone: every
 *                      document without it)
 *   \Cp WORDS \C}      the words adjacent and in order
 *   \C<N>y ITEMS \C}   all items, at most N other words between them
 *   \C<N>s ITEM        the item searched in field N (FTF_*)
 *   \C>z DATE\C}       the selected date field after DATE (YYYYMMDD)
 *   \C<z DATE\C}       ... before DATE
 *   \C...v            options: "3:N" default distance, "10:3" thesaurus on;
 *   \C"v NAME \C}     the thesaurus file NAME in the settings directory
 * Words are runs of ASCII letters and digits and bytes 128 to 255, compared
 * without regard to ASCII case.
 */
#ifndef FTFT_H
#define FTFT_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- types */

/* The engine handle, one per process (opaque). */
typedef struct ftapi_s* FTAPIH;

/* A base (database) handle; 0 means none. */
typedef unsigned short FTBH;

/* A search handle (opaque). A handle that ftshcl released, or that is not
 * one the engine handed out, is answered with error FTE_GONE (46). */
typedef struct ftsrch_s* FTSH;

/* A text position: a count of visible characters (bytes 33 to 126). */
typedef long FTVCC;

/* Where a database's settings file was found (filled by ftfgsh). */
typedef struct _FTFIG {
    char ffpath[1024]; /* path of the NAME.cfg file, NUL-terminated */
    char ffname[64];   /* the database name as asked for */
    long ffsize;       /* size of the settings file in bytes */
} _FTFIG;

/* State of a running search (filled by ftshresm). */
typedef struct _FTSDATA {
    unsigned long sflags; /* FTSF_* bits */
    long sndocs;          /* documents that match (all of them, not only the
                             ones kept up to the maximum hits) */
    int scndx;            /* index into the base vector of the base that
                             failed; -1 when no base is to blame */
} _FTSDATA;

/* One field of one hit (ftshcfld). */
typedef struct _FTCFLDS {
    int cffldid; /* field number, FTF_* */
    int cffmt;   /* format code asked for; 0 = the engine's text form */
    long cffldln; /* length of the value in bytes; 0 = empty */
    char* cfbuf; /* the value, NUL-terminated, inside the caller's buffer */
} _FTCFLDS;

/* One entry of the ftshcfld table: entry 0 carries the request, and on
 * return entry j describes hit first + j. */
typedef struct _FTCINFO {
    unsigned int cistatus; /* 0: a hit; FTCS_GONE: the document is gone
                              (searches keep a snapshot, so this is rare,
                              but callers must skip such entries) */
    int cinflds;           /* number of fields in cicflds */
    _FTCFLDS* cicflds;     /* the fields (inside the caller's buffer on
                              return; the caller's array in the request) */
    void* cicsdoc;         /* reserved; null */
} _FTCINFO;

/* -------------------------------------------------------------- numbers */

/* Error numbers (ftegerr). */
enum {
    FTE_OK = 0,
    FTE_ARG = 1,      /* a bad argument or handle, or the engine not started */
    FTE_NOMEM = 2,    /* out of memory */
    FTE_NODB = 3,     /* no settings file for this database name */
    FTE_OPEN = 4,     /* the index cannot be opened, or is not an index */
    FTE_NAME = 5,     /* a database name with characters other than letters,
                         digits, '_' and '-' */
    FTE_CFG = 6,      /* a settings file that cannot be read or lacks a key */
    FTE_QUERY = 7,    /* malformed query text */
    FTE_FIELD = 8,    /* a field number that cannot be searched */
    FTE_BASE = 9,     /* a base handle that is not open */
    FTE_STORE = 10,   /* the storage layer failed (sub-code: its code) */
    FTE_DATE = 11,    /* a date that cannot be converted */
    FTE_FULL = 12,    /* too many bases or searches open */
    FTE_MAXHITS = 16, /* informational: more matches than the maximum hits
                         (16 and 82 are not set by this engine; callers
                         treat 16, 81 and 82 as no error) */
    FTE_GONE = 46,    /* the search handle is gone */
    FTE_CANCEL = 81,  /* informational: the search was cancelled */
    FTE_EMPTY = 82    /* informational: a base of the vector holds nothing */
};

/* Components (ftegwho). */
enum { FTW_API = 1, FTW_SETTINGS = 2, FTW_BASE = 3, FTW_QUERY = 4, FTW_SEARCH = 5, FTW_DATE = 6 };

/* Field numbers (ftshcfld, and the \C<N>s selector of the query text). */
enum {
    FTF_TEXT = 0,        /* query only: the document's text and its title */
    FTF_DATE = 27,       /* creation date, "YYYYMMDD" */
    FTF_MODIFIED = 31,   /* modification date, "YYYYMMDD" */
    FTF_OWNER = 97,      /* owner's name */
    FTF_TYPE = 99,       /* document type number */
    FTF_FILE = 100,      /* file name relative to the database's PTH */
    FTF_TITLE = 110,     /* title */
    FTF_CODE = 111,      /* "NAME" blank document number */
    FTF_SECURITY = 112,  /* security value */
    FTF_COMPONENTS = 113, /* components text */
    FTF_SCORE = 65011    /* relevance score, a whole number, higher is better */
};

/* ftshstrt flags. */
#define FTSS_RANKED 8L    /* hits in descending relevance */
#define FTSS_COUNT 1024L  /* count only: no hit list, sndocs is the count */

/* _FTSDATA.sflags bits. */
#define FTSF_WAIT 1UL /* the slice ended with work left: pause, call again */

/* _FTCINFO.cistatus values. */
#define FTCS_GONE 0x8000U

/* ftbhgi items. */
#define FTBI_DOCS 200       /* number of documents in the base */
#define FTBI_POSOFFSET 16384 /* constant added to every match position */

/* ftshgi items. */
#define FTSI_HITS 16    /* hits in the hit list */
#define FTSI_MATCHES 17 /* all matching documents (may exceed the hits) */

/* ftapimod items. */
#define FTAM_POOL 0 /* search memory pool in bytes (a hint for the page cache) */

/* ftshrd: no more matches. */
#define FTVCC_END 0x7fffffffL

/* Sizes the callers rely on. */
#define FTFG_BUFSZ 1536      /* ftfgrd's buffer */
#define FTDATE_BUFSZ 40      /* ftdhntos's buffer */
#define FTCF_MAXHITS 100     /* ftshcfld hits per call */
#define FTS_DEFMAXHITS 1000  /* maximum hits when 0 is asked for */

/* Date modes. */
#define FTDM_PARSE 272   /* ftdhston: read a date text */
#define FTDM_UNIX 1      /* ftudnix: a Unix time (seconds) to an engine date */
#define FTDM_NORM 2      /* ftudnix: check an engine date; 0 if it is none */
#define FTDM_TOUNIX 3    /* ftudnix: an engine date to a Unix time (00:00 UTC) */
#define FTDM_YMD 132     /* ftdhntos: print as "YYYYMMDD" */

/* ---------------------------------------------------------------- calls */

#if defined(__GNUC__)
#define FTAPI __attribute__((visibility("default")))
#else
#define FTAPI
#endif

/* Starts the engine. opts holds nopts longs: {interface version (4), flags
 * (0), most open bases (-1: the default, 256)}; both leading pointers are
 * reserved and must be null. On success *h is the engine handle and the
 * result is 0. */
FTAPI int ftapiini(void* reserved1, void* reserved2, long* opts, int nopts, FTAPIH* h);

/* Sets an engine option (FTAM_*). 0 on success. */
FTAPI int ftapimod(FTAPIH h, int item, long* value);

/* Shuts the engine down: closes every search and base. The handle is
 * invalid afterwards. */
FTAPI int ftapitrm(FTAPIH h);

/* Finds NAME.cfg for the database name in each directory that FULSEARCH
 * (else FULPATH) names, split at any of ",;: ", in order; in a directory
 * without NAME.cfg a file "X.NAME.cfg" also counts. Fills *fig. 0: found;
 * FTE_NAME for a malformed name, FTE_NODB when no directory has it. */
FTAPI int ftfgsh(FTAPIH h, const char* name, _FTFIG* fig);

/* Reads the settings text of fig into buf, which must hold FTFG_BUFSZ
 * bytes; the text is NUL-terminated (cut to fit). 0 on success. */
FTAPI int ftfgrd(FTAPIH h, _FTFIG* fig, char* buf);

/* The value of key ("PTH", "REF", ...) in a settings text read by ftfgrd:
 * lines "KEY=value", blanks around both trimmed, "#" lines ignored. The
 * result points at engine memory valid until the next ftfgrk; null when the
 * key is missing or empty. */
FTAPI char* ftfgrk(FTAPIH h, const char* key, char* buf);

/* Opens the base of the database name; mode "r" (read) or "w" (read and
 * write). The base handle, or 0 on failure (ftegerr tells why). */
FTAPI FTBH ftbxop(FTAPIH h, const char* name, const char* mode);

/* Information about an open base (FTBI_*) into *value. 0 on success. */
FTAPI int ftbhgi(FTAPIH h, FTBH b, int item, long* value);

/* Closes a base; searches that use it fail from then on. 0 on success. */
FTAPI int ftbhcl(FTAPIH h, FTBH b);

/* Starts a search of the query text over the nbases bases of vec (a base may
 * appear more than once; it is searched once). maxhits: most hits kept (0:
 * FTS_DEFMAXHITS). flags: FTSS_*. r1, r2 reserved (0). On success *sh is the
 * search handle and the result is >= 0; on failure *sh is null and the
 * result is negative (ftegerr: FTE_QUERY, FTE_FIELD, FTE_BASE, ...). The
 * query text is compiled at once, so syntax errors show here. From its start
 * to ftshcl the search reads one snapshot of each base: while ftindex or
 * dmFieldUpd change a base, its hits, fields and positions still agree. */
FTAPI int ftshstrt(FTAPIH h, FTBH* vec, int nbases, long maxhits, long flags, const char* query,
                   long r1, long r2, FTSH* sh);

/* Runs the search for a slice of about amount units (a unit is about five
 * microseconds of work; 0 or less: the smallest slice). cancel non-zero
 * stops the search. Result: 0 while
 * work is left (sflags FTSF_WAIT set), > 0 when done, < 0 on failure or
 * cancel (ftegerr FTE_CANCEL for a cancel; scndx the failing base). sd is
 * filled in every case. */
FTAPI int ftshresm(FTAPIH h, FTSH sh, long amount, int cancel, _FTSDATA* sd);

/* Pauses for usec microseconds (at most one second); a signal ends it early. */
FTAPI int ftusleep(FTAPIH h, long usec);

/* Information about a search (FTSI_*) into *value. 0 on success. */
FTAPI int ftshgi(FTAPIH h, FTSH sh, int item, long* value);

/* Fetches fields of the hits first .. first + *count - 1 of a finished
 * search. info holds FTCF_MAXHITS entries; entry 0 names the fields wanted
 * (cicflds -> cinflds entries with cffldid and cffmt set). buf of bufsz
 * bytes receives the field tables and values; the engine lowers *count when
 * the buffer or the hit list is shorter (values are cut, never overrun).
 * reserved1 0, reserved2 1. 0 on success. */
FTAPI int ftshcfld(FTAPIH h, FTSH sh, long first, _FTCINFO* info, long reserved1, char* buf,
                   long bufsz, int reserved2, long* count);

/* Positions the match reader on hit index hit. Non-zero when done (then
 * *nmatch is the number of positions); 0 on failure. A hit whose document
 * was removed gives non-zero and no positions. */
FTAPI int ftshgf(FTAPIH h, FTSH sh, long hit, int* nmatch);

/* The next match of the hit chosen by ftshgf, in ascending order: returns
 * its start (visible characters before the word plus the base's position
 * offset) and sets *end to the start plus the word's length in bytes.
 * FTVCC_END when no more; <= 0 on failure. */
FTAPI FTVCC ftshrd(FTAPIH h, FTSH sh, FTVCC* end);

/* Releases a search. 0 on success. */
FTAPI int ftshcl(FTAPIH h, FTSH sh, int reserved);

/* The last error: number (FTE_*), sub-code, component (FTW_*). */
FTAPI int ftegerr(FTAPIH h);
FTAPI int ftegsub(FTAPIH h);
FTAPI int ftegwho(FTAPIH h);

/* Dates. An engine date is a long written as the decimal YYYYMMDD. */
/* Reads "YYYYMMDD", "YYYY-MM-DD", "MM/DD/YYYY" or "Month D YYYY" (with or
 * without a comma after the day; month names in any case, full or three
 * letters), leading blanks skipped, trailing blanks allowed. mode
 * FTDM_PARSE. The date, or 0 for anything else. */
FTAPI long ftdhston(FTAPIH h, const char* text, int mode);
/* Converts by mode (FTDM_UNIX, FTDM_NORM, FTDM_TOUNIX); 0 on failure. */
FTAPI long ftudnix(FTAPIH h, long date, int mode);
/* Prints an engine date into buf (FTDATE_BUFSZ bytes) as "YYYYMMDD" (mode
 * FTDM_YMD). Non-zero on success; 0 (buf emptied) for an invalid date. */
FTAPI int ftdhntos(FTAPIH h, long date, int mode, char* buf);

#ifdef __cplusplus
}
#endif

#endif
