// Text and byte-set operations.
//
// Positions are 1-based byte positions; a search that finds nothing gives -1 and a search
// started at 0 or below starts at 1. Results are fresh blocks owned by the caller (release
// with FreeMemory), or null for an empty result. Arguments are only read; null counts as
// empty everywhere. Only FindText knows GBK two-byte characters: it steps over them.
//
// The tagged operations take their arguments as an ArgList (value.h). The *In functions
// below them are the same rules on subjects whose length the caller already knows.
#pragma once

#include <initializer_list>

#include "runtime/value.h"

namespace runtime {

// Plain form.
Text ConcatText(std::initializer_list<ConstText> parts);          // never null
ByteSet ConcatBytes(std::initializer_list<ConstByteSet> parts);   // null when empty
int CompareText(ConstText a, ConstText b);                         // -1, 0 or 1

// Tagged form.
int32_t TextLength(ArgList args);    // text
Text SpaceText(ArgList args);        // count
Text LeftText(ArgList args);         // text, count
Text RightText(ArgList args);        // text, count
Text MidText(ArgList args);          // text, start, count
int32_t FindText(ArgList args);      // subject, sought, [start], [ignore case]
int32_t BytesLength(ArgList args);   // byte set
ByteSet LeftBytes(ArgList args);     // byte set, count
ByteSet RightBytes(ArgList args);    // byte set, count
ByteSet MidBytes(ArgList args);      // byte set, start, count
int32_t FindBytes(ArgList args);     // subject, sought, [start]

// Null when n is 0, else a new ByteSet holding a copy of the n bytes.
ByteSet MakeByteSet(const void* bytes, int32_t n);
// Null when n is 0, else a new ByteSet of n bytes for the caller to fill.
ByteSet NewByteSet(int32_t n);

// A new Text of the n bytes and a NUL; null when n is 0.
Text MakeText(const void* bytes, int32_t n);

// Where MidBytes and MidText cut a subject of length L: `count` bytes from offset `offset`
// (count 0 for an empty result). Callers holding a view cut it in place with these.
struct Cut {
    int32_t offset;
    int32_t count;
};
Cut MidBytesCut(int32_t L, int32_t start, int32_t count);
Cut MidTextCut(int32_t L, int32_t start, int32_t count);

// Lengths that treat null as empty.
int32_t TextLengthOf(ConstText t);
int32_t BytesLengthOf(ConstByteSet b);

// FindText's rules on a subject of known length L and a sought text of length m.
int32_t FindTextIn(const char* subject, int32_t L, const char* sought, int32_t m, int32_t start,
                   bool ignore_case);
// FindBytes's rules on known lengths.
int32_t FindBytesIn(const uint8_t* subject, int32_t L, const uint8_t* sought, int32_t m,
                    int32_t start);

}  // namespace runtime
