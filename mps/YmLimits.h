// Every limit that bounds what a peer can make this system read, allocate or
// write, in one place, each with the reason for its number. Code that checks
// input from the wire (or from a file a peer controls) names the limit here
// instead of carrying a bare number.
#ifndef YM_LIMITS_H
#define YM_LIMITS_H

// Bytes of a frame header: Type, Flag, Length, 32-bit big-endian each.
constexpr int YM_FRAME_HEADER_SIZE = 12;

// Largest payload a receiver accepts. The biggest honest frame is a document
// answer (header text plus the formatted document, images included) or a
// saved document; 64 MiB is far above any document of a knowledge base while
// keeping what one hostile connection can make its process allocate bounded.
// A larger or negative Length ends the connection before anything is
// allocated.
constexpr int YM_MAX_FRAME_LENGTH = 64 * 1024 * 1024;

// Most bytes of the three texts of one search answer (records, titles and
// match offsets together). Receivers refuse frames over
// YM_MAX_FRAME_LENGTH, and the rest of the answer (two numbers, the
// additional information, separators) takes a few hundred bytes: 1 MiB less
// leaves ample room. A search whose hits would pass it answers the hits
// that fit (at about 2 KB a hit, some 30,000 of them).
constexpr int YM_MAX_SEARCH_TEXTS = YM_MAX_FRAME_LENGTH - 1024 * 1024;

// Payloads are read in pieces of at most this many bytes.
constexpr int YM_READ_CHUNK = 500;

// The peer host name buffer of a connection, terminating NUL included; a
// longer name is cut to 63 characters.
constexpr int YM_RHOST_SIZE = 64;

// The text of a state message (types 202-204): 255 characters and a NUL. The
// frame is always 4 + 256 bytes; a longer text is refused, not cut.
constexpr int YM_STATE_DATA_SIZE = 256;

#endif
