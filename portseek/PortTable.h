// The TCP ports in use on this machine, read from the kernel's socket tables,
// and the choice of the first free port at or above a start.
//
// A port counts as taken when any TCP socket, IPv4 or IPv6, has it as its
// local port: a listener on every address, a listener on one address (a
// server binding every address cannot bind that port either), and any
// connection or lingering TIME_WAIT entry, since the server binds without
// asking for address reuse and such an entry makes its bind fail too.
#ifndef PORTSEEK_PORT_TABLE_H
#define PORTSEEK_PORT_TABLE_H

#include <cstdio>
#include <string>
#include <vector>

// The kernel's tables; read directly, so no scratch file is ever written.
extern const char* const kPsTcpTable;   // "/proc/net/tcp"
extern const char* const kPsTcp6Table;  // "/proc/net/tcp6"

// Appends the local port of every socket line of a table in the kernel's
// format ("  0: 0100007F:1773 00000000:0000 0A ...", IPv6 addresses as 32 hex
// digits) to `ports`. The heading line and lines that do not parse are
// skipped. Any number of lines and any line length are handled.
void psReadSocketTable(FILE* table, std::vector<int>& ports);

// Reads both tables into `ports`. A missing IPv6 table means a kernel without
// IPv6 and counts as empty; any other failure returns false with the reason
// in `err`.
bool psTakenPorts(std::vector<int>& ports, std::string& err);

// The smallest port p with start <= p <= 65535 that is not in `taken`, or -1
// if there is none.
int psFirstFreePort(int start, const std::vector<int>& taken);

// Parses a start port: decimal digits only, 1 to 65535.
bool psParsePort(const char* text, int& port);

#endif
