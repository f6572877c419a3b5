// Value-to-text and value-to-bytes conversions.
#include <cstring>

#include "runtime/array.h"
#include "runtime/format.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::OwnedText;
using testutil::Str;

std::string TextOf(TaggedValue v) { return Str(OwnedText(ToText({v}))); }

// Every kind of value to text; null where there is no text (an empty one included).
TEST(Format, ValuesToText) {
    OwnedBytes xy = Bytes(std::string("xy\0z", 4)), nul = Bytes(std::string("\0z", 2));
    struct Int32Array {
        int32_t dims, size, member;
    } ints = {1, 1, 0x00636261};
    struct DoubleArray {
        int32_t dims, size;
        double member;
    } doubles = {1, 1, 1.0};
    const uint32_t int32_array = static_cast<uint32_t>(ValueKind::Int32) | kArrayFlag;
    const uint32_t double_array = static_cast<uint32_t>(ValueKind::Double) | kArrayFlag;
    struct Row {
        TaggedValue value;
        const char* expected;
    } rows[] = {
        {OfInt32(-5), "-5"},
        {OfInt32(INT32_MIN), "-2147483648"},
        {OfBits(ValueKind::Byte, 0x1FF), "255"},
        {OfBits(ValueKind::Int16, 0xFFFF), "-1"},
        {OfInt64(int64_t{1} << 40), "1099511627776"},
        {OfInt64(INT64_MIN), "-9223372036854775808"},
        {OfBits(ValueKind::SubroutinePointer, 0xFFFFFFFF), "-1"},
        {OfBool(false), "假"},
        {OfBits(ValueKind::Bool, 7), "真"},
        {OfDouble(2.5), "2.5"},
        {OfDouble(3.0), "3"},
        {OfDouble(0.0), "0"},
        {OfDouble(-0.0), "-0"},
        {OfDouble(1e-7), "0"},
        {OfDouble(0.0001), "0.0001"},
        {OfDouble(100.0), "100"},
        {OfDouble(-1.25), "-1.25"},
        {OfFloat(0.1f), "0.1"},
        {OfText("copy me"), "copy me"},
        {OfText(kEmptyText), nullptr},
        {OfByteSet(xy.get()), "xy"},
        {OfByteSet(nul.get()), nullptr},
        {OfByteSet(kEmptyBytes.get()), nullptr},
        {OfPointer(int32_array, &ints), "abc"},
        {OfPointer(double_array, &doubles), nullptr},
        {OfBits(ValueKind::Absent, 5), nullptr},
        {OfPointer(0x40000001, nullptr), nullptr},
    };
    for (const Row& r : rows) {
        OwnedText text(ToText({r.value}));
        EXPECT_EQ(text == nullptr ? "(null)" : Str(text), r.expected ? r.expected : "(null)") << r.value.type;
        EXPECT_TRUE(text == nullptr || text.get() != r.value.AsText());  // a copy of its own
    }
}

TEST(Format, TrimTrailingZeros) {
    struct Row {
        const char *in, *out;
    } rows[] = {{"1.500000", "1.5"}, {"2.000000", "2"},     {"100.000000", "100"},
                {"0.000000", "0"},   {"-0.000000", "-0"},   {"0.000100", "0.0001"},
                {"7.", "7"},         {"0", "0"},            {"120", "12"}};
    for (const Row& r : rows) {
        char buffer[32];
        std::strcpy(buffer, r.in);
        TrimTrailingZeros(buffer);
        EXPECT_STREQ(buffer, r.out) << r.in;
    }
}

TEST(Format, HugeDoubleIsWrittenInFull) {
    std::string big = TextOf(OfDouble(1e300));
    EXPECT_EQ(big.size(), 301u);
    EXPECT_EQ(big.substr(0, 3), "100");
    EXPECT_EQ(TextOf(OfDouble(-1e300)).size(), 302u);
    EXPECT_EQ(TextOf(OfDouble(1e251)).size(), 252u);  // still fits the working area
}

TEST(Format, DatesAndTimes) {
    struct Row {
        double days;
        const char* expected;
    } rows[] = {
        {45000.0, "2023年3月15日"},
        {45000.5, "2023年3月15日12时"},
        {45000.75 + 90.0 / 86400, "2023年3月15日18时1分30秒"},
        {45000.75 + 60.0 / 86400, "2023年3月15日18时1分"},
        {2.0, "1900年1月1日"},
        {61.0, "1900年3月1日"},  // 1900 is not a leap year
        {1.0, "1899年12月31日"},
        {0.0, "1899年12月30日"},
        {-1.25, "1899年12月29日6时"},
        {-364.0, "1898年12月31日"},
        {-365.0, "1898年12月30日"},
        {0.999999, "1899年12月30日24时"},
        {36526.0, "2000年1月1日"},
        {36585.0, "2000年2月29日"},  // 2000 is
        {-693593.0, "1年1月1日"},
        {-693594.0, "0年12月31日"},
        {-693959.0, "0年1月1日"},  // year 0 is a leap year
        {-693960.0, "-1年12月31日"},
    };
    for (const Row& r : rows) EXPECT_EQ(TextOf(OfDateTime(r.days)), r.expected) << r.days;
    // Day counts beyond 32 bits are held at the end instead of overflowing.
    EXPECT_FALSE(TextOf(OfDateTime(1e300)).empty());
}

TEST(Format, ToBytes) {
    struct Int16Array {
        int32_t dims, size;
        int16_t members[3];
    } shorts = {1, 3, {1, 2, 3}};
    struct Row {
        TaggedValue value;
        std::string expected;
    } rows[] = {
        {OfInt32(1), std::string("\x01\0\0\0", 4)},
        {OfDouble(1.0), std::string("\0\0\0\0\0\0\xF0\x3F", 8)},
        {OfBits(ValueKind::Byte, 0x1FF), "\xFF"},
        {OfBits(ValueKind::Int16, 0x12345678), "\x78\x56"},
        {OfInt64(0x0102030405060708), "\x08\x07\x06\x05\x04\x03\x02\x01"},
        {OfBool(true), std::string("\x01\0\0\0", 4)},
        {OfText("abc"), "abc"},
        {OfText(kEmptyText), ""},
        {OfPointer(static_cast<uint32_t>(ValueKind::Int16) | kArrayFlag, &shorts),
         std::string("\x01\0\x02\0\x03\0", 6)},
        {OfPointer(static_cast<uint32_t>(ValueKind::Text) | kArrayFlag, &shorts), ""},
        {OfBits(ValueKind::Absent, 1), ""},
    };
    for (const Row& r : rows) {
        OwnedBytes got(ToBytes({r.value}));
        EXPECT_EQ(Str(got), r.expected);
        if (r.expected.empty()) {
            EXPECT_EQ(got, nullptr);
        }
    }
}

}  // namespace
