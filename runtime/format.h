// Turning a value of any kind into a Text (its readable form) or a ByteSet (its raw bytes).
//
// Numbers are plain decimal; floating values use the fixed-point "%f" form with trailing
// zeros trimmed; booleans read "真" and "假"; dates use Chinese calendar notation with the
// time of day. A scalar is formatted in a 260-byte working area; a Double too long for it
// (1e252 and up) is formatted in full in a block of its own, never cut and never past the
// area.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace runtime {

constexpr int kFormatAreaSize = 260;

Text ToText(ArgList args);     // value of any kind
ByteSet ToBytes(ArgList args); // value of any kind

// Readable form of a scalar kind (everything ToText formats except texts, byte sets and
// arrays); null for kinds without one. ShowMessage uses it too.
Text FormatScalar(const TaggedValue& value);

// Shortens a fixed-point number text in place: 1.500000 -> 1.5, 2.000000 -> 2.
void TrimTrailingZeros(char* text);

struct Date {
    int32_t year, month, day;
};
struct TimeOfDay {
    int32_t hours, minutes, seconds;
};
// Day 0 is 1899-12-30; the proleptic Gregorian calendar, years before 1 numbered 0, -1, ...
Date DayCountToDate(int32_t w);
// |f| x 86400 seconds, rounded to the second; a whole day reads 24:00:00.
TimeOfDay DayFractionToTime(double f);
// Writes the date text of x, with its time part, into area (kFormatAreaSize bytes).
void FormatDateTime(double x, char* area);

}  // namespace runtime
