// Field helpers shared by the text payloads of the protocol messages.
//
// A payload is a run of fields, each followed by a form feed, read back with
// YmStr::token, which takes a run of separators as one. An empty field would
// therefore vanish and shift every field after it, so writers send a field
// shorter than two characters as one blank and readers turn any field shorter
// than two characters back into an empty string. Numbers are decimal and are
// read the way C atoi reads them, but without its undefined overflow.
#ifndef YM_MSG_FIELD_H
#define YM_MSG_FIELD_H

#include "YmStr.h"

// The field separator of every text payload.
constexpr char YM_FIELD_SEP = '\f';

// Leading white space, an optional sign, then digits up to the first
// non-digit; 0 when there are none. Values beyond the range of int are held
// at its nearest end. A null text reads as 0.
int ymMsgAtoi(const char* s);
int ymMsgAtoi(const YmStr& s);

// Appends field and one separator. A field shorter than minLen characters
// goes as one blank. A separator inside the field would end the field early
// and shift every later one, so it travels as a blank.
void ymAppendField(YmStr& buf, const YmStr& field, unsigned int minLen = 2);

// The field becomes empty, then a copy of s when s is neither null nor
// empty; s may point into the field itself.
void ymSetText(YmStr& field, const char* s);

// The next field from posn (advanced past the separators that follow it);
// empty when it has fewer than two characters.
YmStr ymLongField(const YmStr& text, unsigned int& posn);

// The text of a payload: at most len bytes of buf, up to its first NUL. A
// payload need not carry its NUL, so none is assumed.
YmStr ymPayloadText(const char* buf, unsigned int len);

#endif
