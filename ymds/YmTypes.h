// The truth type and the assertion macro shared by the whole system.
//
// YM_ASSERT checks a precondition in every build type (NDEBUG does not turn
// it off). On failure it prints the given text, not the C++ condition, so the
// report reads the same wherever the check is written differently, and then
// aborts: a failed assertion is a programming error, never a run-time one.
#ifndef YM_TYPES_H
#define YM_TYPES_H

// One unsigned byte holding 0 (false) or 1 (true).
typedef unsigned char YmBool;

// Prints "Assertion failed: <text>, file <file>, line <line>" to standard
// error and aborts the process.
[[noreturn]] void ymAssertFail(const char* text, const char* file, int line);

#define YM_ASSERT(cond, text) ((cond) ? (void)0 : ymAssertFail((text), __FILE__, __LINE__))

#endif
