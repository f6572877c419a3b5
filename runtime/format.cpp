// ToText and ToBytes, with the number, boolean and date forms.
#include "runtime/format.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace runtime {

namespace {

bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int32_t DaysInYear(int64_t y) { return IsLeapYear(y) ? 366 : 365; }

int32_t DaysInMonth(int64_t y, int32_t month) {
    static const int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(y) ? 29 : kLengths[month - 1];
}

// Month and day of the d-th day (1-based) of year y.
Date WalkMonths(int32_t y, int32_t d) {
    int32_t month = 1;
    while (d > DaysInMonth(y, month)) d -= DaysInMonth(y, month++);
    return {y, month, d};
}

// Text of exactly the area's length, or null when empty.
Text TextFromArea(const char* area) { return MakeText(area, TextLengthOf(area)); }

// "%f" of d with trailing zeros trimmed. The working area serves every value that fits it;
// a longer fixed-point form gets a block of its own so that nothing is cut or overrun.
Text FormatFixed(double d) {
    char area[kFormatAreaSize];
    int n = std::snprintf(area, sizeof area, "%f", d);
    if (n < 0) return nullptr;
    if (n < kFormatAreaSize) {
        TrimTrailingZeros(area);
        return TextFromArea(area);
    }
    auto text = static_cast<Text>(AllocateMemory(SizeSum(n, 1)));
    std::snprintf(text, static_cast<size_t>(n) + 1, "%f", d);
    TrimTrailingZeros(text);
    return text;
}

Text FormatInteger(int64_t n) {
    char area[kFormatAreaSize];
    std::snprintf(area, sizeof area, "%" PRId64, n);
    return TextFromArea(area);
}

// The whole part of a day count as a 32-bit number; values beyond it (and NaN) cannot name
// a day, so they are held at the nearest end.
int32_t WholeDays(double x) {
    if (std::isnan(x)) return 0;
    double w = std::trunc(x);
    if (w >= 2147483647.0) return INT32_MAX;
    if (w <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(w);
}

}  // namespace

void TrimTrailingZeros(char* text) {
    size_t n = std::strlen(text);
    if (n == 0) return;
    if (text[n - 1] == '.') {
        text[n - 1] = '\0';
        return;
    }
    while (text[n - 1] == '0') {
        if (n == 1) return;  // a lone zero stays
        text[--n] = '\0';
        if (text[n - 1] == '.') {
            text[n - 1] = '\0';
            return;
        }
    }
}

Date DayCountToDate(int32_t w) {
    if (w == 0) return {1899, 12, 30};
    if (w == 1) return {1899, 12, 31};
    if (w >= 2) {
        int32_t year = 1900, d = w - 1;
        while (d > DaysInYear(year)) d -= DaysInYear(year++);
        return WalkMonths(year, d);
    }
    // Backwards from 1899-12-30, the 364th day of its year.
    int64_t d = 364 + static_cast<int64_t>(w);
    int32_t year = 1899;
    while (d < 1) d += DaysInYear(--year);
    return WalkMonths(year, static_cast<int32_t>(d));
}

TimeOfDay DayFractionToTime(double f) {
    auto s = static_cast<int32_t>(std::fabs(f) * 86400 + 0.5);
    return {s / 3600, (s % 3600) / 60, s % 60};
}

void FormatDateTime(double x, char* area) {
    int32_t w = WholeDays(x);
    double f = std::isfinite(x) ? x - std::trunc(x) : 0.0;
    TimeOfDay t = DayFractionToTime(f);
    Date d = DayCountToDate(w);
    int n = std::snprintf(area, kFormatAreaSize, "%d年%d月%d日", static_cast<int>(d.year),
                          static_cast<int>(d.month), static_cast<int>(d.day));
    char* at = area + n;
    size_t room = kFormatAreaSize - static_cast<size_t>(n);
    if (t.seconds != 0) {
        std::snprintf(at, room, "%d时%d分%d秒", static_cast<int>(t.hours),
                      static_cast<int>(t.minutes), static_cast<int>(t.seconds));
    } else if (t.minutes != 0) {
        std::snprintf(at, room, "%d时%d分", static_cast<int>(t.hours), static_cast<int>(t.minutes));
    } else if (t.hours != 0) {
        std::snprintf(at, room, "%d时", static_cast<int>(t.hours));
    }
}

Text FormatScalar(const TaggedValue& v) {
    switch (static_cast<ValueKind>(v.type)) {
        case ValueKind::Bool:
            return ConcatText({v.value != 0 ? "真" : "假"});
        case ValueKind::DateTime: {
            char area[kFormatAreaSize];
            FormatDateTime(v.AsDouble(), area);
            return TextFromArea(area);
        }
        case ValueKind::Int32:
        case ValueKind::SubroutinePointer:
            return FormatInteger(static_cast<int32_t>(v.value));
        case ValueKind::Byte:
            return FormatInteger(static_cast<uint8_t>(v.value));
        case ValueKind::Int16:
            return FormatInteger(static_cast<int16_t>(v.value));
        case ValueKind::Int64:
            return FormatInteger(static_cast<int64_t>(v.Bits()));
        case ValueKind::Float: {
            float f;
            std::memcpy(&f, &v.value, sizeof f);
            return FormatFixed(static_cast<double>(f));
        }
        case ValueKind::Double:
            return FormatFixed(v.AsDouble());
        default:
            return nullptr;
    }
}

Text ToText(ArgList args) {
    TaggedValue v = args[0];
    if (v.type & kArrayFlag) {
        uint32_t member = v.type & ~kArrayFlag;
        switch (static_cast<ValueKind>(member)) {
            case ValueKind::Byte:
            case ValueKind::Int16:
            case ValueKind::Int32:
            case ValueKind::SubroutinePointer:
            case ValueKind::Int64:
                return ArrayBytesToText(static_cast<const DynamicArray*>(v.AsPointer()),
                                        MemberSize(member));
            default:
                return nullptr;
        }
    }
    if (v.Is(ValueKind::Text)) return MakeText(v.AsText(), TextLengthOf(v.AsText()));
    if (v.Is(ValueKind::ByteSet)) {
        auto block = reinterpret_cast<const DynamicArray*>(v.AsByteSet());
        return block == nullptr ? nullptr : ArrayBytesToText(block, 1);
    }
    return FormatScalar(v);
}

ByteSet ToBytes(ArgList args) {
    TaggedValue v = args[0];
    if (v.type & kArrayFlag) {
        uint32_t member = v.type & ~kArrayFlag;
        if (!IsNumericKind(member)) return nullptr;
        ArrayView view = ArrayElements(static_cast<const DynamicArray*>(v.AsPointer()));
        int64_t total = static_cast<int64_t>(view.count) * static_cast<int64_t>(MemberSize(member));
        if (total > INT32_MAX) OutOfMemory();
        return MakeByteSet(view.first, static_cast<int32_t>(total));
    }
    if (!IsSystemKind(v.type)) return nullptr;
    uint8_t words[8];
    std::memcpy(words, &v.value, 4);
    std::memcpy(words + 4, &v.high, 4);
    switch (static_cast<ValueKind>(v.type)) {
        case ValueKind::Text:
            return MakeByteSet(v.AsText(), TextLengthOf(v.AsText()));
        case ValueKind::ByteSet: {
            ConstByteSet b = v.AsByteSet();
            return BytesLengthOf(b) > 0 ? MakeByteSet(BytesData(b), b->length) : nullptr;
        }
        case ValueKind::Bool:
        case ValueKind::SubroutinePointer:
        case ValueKind::Int32:
        case ValueKind::Float:
            return MakeByteSet(words, 4);
        case ValueKind::DateTime:
        case ValueKind::Int64:
        case ValueKind::Double:
            return MakeByteSet(words, 8);
        case ValueKind::Byte:
            return MakeByteSet(words, 1);
        case ValueKind::Int16:
            return MakeByteSet(words, 2);
        default:
            return nullptr;
    }
}

}  // namespace runtime
