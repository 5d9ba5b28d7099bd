// The process's handle on the full-text engine. Every engine call takes it
// first. The search model starts the engine into it (ftapiini) and shuts it
// down (ftapitrm); the query parser's date conversions use it too, so it
// lives here rather than with either of them. Null while the engine is not
// running.
#ifndef YM_FT_API_H
#define YM_FT_API_H

#include "ftft.h"

extern FTAPIH ftapih;

#endif
