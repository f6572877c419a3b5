// The edge rules of the text and byte-set operations that callers build on.
#include <random>

#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::OwnedText;
using testutil::Str;

constexpr TaggedValue kNoArg = {0, 0, 0};

TEST(Text, ConcatAndCompare) {
    OwnedText abc(ConcatText({"a", nullptr, "bc"}));
    EXPECT_EQ(Str(abc), "abc");
    OwnedText empty(ConcatText({nullptr, ""}));
    ASSERT_NE(empty, nullptr);  // always a block
    EXPECT_EQ(empty.get()[0], '\0');

    EXPECT_EQ(ConcatBytes({kEmptyBytes.get(), nullptr}), nullptr);
    OwnedBytes a = Bytes(std::string("\x01\x00", 2)), b = Bytes("\x02");
    OwnedBytes joined(ConcatBytes({a.get(), b.get()}));
    EXPECT_EQ(Str(joined), std::string("\x01\x00\x02", 3));

    struct Row {
        const char *a, *b;
        int expected;
    } rows[] = {
        {nullptr, "", 0}, {"", "a", -1}, {"a", nullptr, 1}, {"ab", "a", 1},
        {"a", "ab", -1},  {"\xB0", "a", 1}, {"abc", "abc", 0},
    };
    for (const Row& r : rows) EXPECT_EQ(CompareText(r.a, r.b), r.expected) << Str(r.a) << "|" << Str(r.b);
}

TEST(Text, CuttingTexts) {
    struct Row {
        const char* op;
        const char* text;
        int32_t start, count;
        const char* expected;  // null: the result is null
    } rows[] = {
        {"left", "abc", 0, 5, "abc"},   {"left", "abc", 0, 0, nullptr},
        {"left", "abc", 0, -1, nullptr}, {"left", "", 0, 2, nullptr},
        {"right", "abc", 0, 1, "c"},    {"right", "abc", 0, 5, "abc"},
        {"right", "abc", 0, 0, nullptr},
        {"mid", "abcdef", 2, 3, "bcd"}, {"mid", "abcdef", 5, 10, "ef"},
        {"mid", "abcdef", 0, 2, nullptr}, {"mid", "abcdef", 7, 1, nullptr},
        {"mid", "abcdef", 6, 1, "f"},   {"mid", "abcdef", 1, 0, nullptr},
        {"mid", "abcdef", 2, INT32_MAX, "bcdef"},
    };
    for (const Row& r : rows) {
        TaggedValue t = OfText(r.text);
        OwnedText got(r.op[0] == 'l'   ? LeftText({t, OfInt32(r.count)})
                      : r.op[0] == 'r' ? RightText({t, OfInt32(r.count)})
                                       : MidText({t, OfInt32(r.start), OfInt32(r.count)}));
        if (r.expected == nullptr) {
            EXPECT_EQ(got, nullptr) << r.op << " " << r.text << " " << r.start << " " << r.count;
        } else {
            EXPECT_EQ(Str(got), r.expected) << r.op << " " << r.start << " " << r.count;
        }
    }
    OwnedText spaces(SpaceText({OfInt32(3)}));
    EXPECT_EQ(Str(spaces), "   ");
    EXPECT_EQ(SpaceText({OfInt32(0)}), nullptr);
    EXPECT_EQ(SpaceText({OfInt32(-1)}), nullptr);
    EXPECT_EQ(TextLength({OfText(nullptr)}), 0);
    EXPECT_EQ(BytesLength({OfByteSet(nullptr)}), 0);
}

TEST(Text, CuttingByteSets) {
    OwnedBytes abcd = Bytes("abcd");
    struct Row {
        char op;
        int32_t start, count;
        const char* expected;
    } rows[] = {
        {'m', 0, 2, "ab"},   {'m', -5, 2, "ab"}, {'m', 5, 1, nullptr}, {'m', 6, 1, nullptr},
        {'m', 2, 10, "bcd"}, {'m', 4, 1, "d"},   {'m', 2, 0, nullptr}, {'m', 1, INT32_MAX, "abcd"},
        {'l', 0, 2, "ab"},   {'l', 0, 9, "abcd"}, {'l', 0, 0, nullptr},
        {'r', 0, 5, "abcd"}, {'r', 0, 1, "d"},   {'r', 0, -1, nullptr},
    };
    for (const Row& r : rows) {
        TaggedValue b = OfByteSet(abcd.get());
        OwnedBytes got(r.op == 'l'   ? LeftBytes({b, OfInt32(r.count)})
                       : r.op == 'r' ? RightBytes({b, OfInt32(r.count)})
                                     : MidBytes({b, OfInt32(r.start), OfInt32(r.count)}));
        if (r.expected == nullptr) {
            EXPECT_EQ(got, nullptr) << r.op << " " << r.start << " " << r.count;
        } else {
            EXPECT_EQ(Str(got), r.expected) << r.op << " " << r.start << " " << r.count;
        }
    }
    EXPECT_EQ(MidBytes({OfByteSet(kEmptyBytes.get()), OfInt32(1), OfInt32(1)}), nullptr);
}

TEST(Text, FindText) {
    struct Row {
        const char *subject, *sought;
        TaggedValue start, ignore_case;
        int32_t expected;
    } rows[] = {
        {"abcabc", "bc", kNoArg, kNoArg, 2},
        {"abcabc", "bc", OfInt32(3), kNoArg, 5},
        {"abcabc", "bc", OfInt32(6), kNoArg, -1},
        {"abcabc", "", kNoArg, kNoArg, -1},
        {"", "a", kNoArg, kNoArg, -1},
        {"abcabc", "ab", OfInt32(0), kNoArg, 1},
        {"abcabc", "ab", OfInt32(-7), kNoArg, 1},
        {"abcabc", "abc", OfInt32(4), kNoArg, 4},  // ends on the last byte
        {"ab", "abc", kNoArg, kNoArg, -1},
        // Two GBK characters: the second byte of the first is never a start.
        {"\xD6\xD0\xCE\xC4", "\xD0\xCE", kNoArg, kNoArg, -1},
        {"\xD6\xD0\xCE\xC4", "\xD0\xCE", OfInt32(2), kNoArg, 2},
        // After an odd run of high bytes the next byte is stepped over.
        {"\xE4\xBC\xA4<li>", "<li>", kNoArg, kNoArg, -1},
        {"ABC", "b", kNoArg, kNoArg, -1},
        {"ABC", "b", kNoArg, OfBool(false), -1},
        {"ABC", "b", kNoArg, OfBool(true), 2},
        {"x\xB0" "a", "\xB0" "A", kNoArg, OfBool(true), 2},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FindText({OfText(r.subject), OfText(r.sought), r.start, r.ignore_case}), r.expected)
            << Str(r.subject) << " / " << Str(r.sought);
}

TEST(Text, FindBytes) {
    struct Row {
        std::string subject, sought;
        TaggedValue start;
        int32_t expected;
    } rows[] = {
        {"abcabc", "bc", kNoArg, 2},
        {"abcabc", "bc", OfInt32(3), 5},
        {"abcabc", "abc", OfInt32(4), 4},
        {"abcabc", "bc", OfInt32(6), -1},
        {"ab", "abc", kNoArg, -1},
        {std::string("a\0b", 3), std::string("\0b", 2), kNoArg, 2},
        {"\xE4\xBC\xA4<li>", "<li>", kNoArg, 4},  // bytes know no characters
        {"abc", "c", OfInt32(-2), 3},
    };
    for (const Row& r : rows) {
        OwnedBytes s = Bytes(r.subject), k = Bytes(r.sought);
        EXPECT_EQ(FindBytes({OfByteSet(s.get()), OfByteSet(k.get()), r.start}), r.expected)
            << r.subject << " / " << r.sought;
    }
    OwnedBytes s = Bytes("abc");
    EXPECT_EQ(FindBytes({OfByteSet(s.get()), OfByteSet(kEmptyBytes.get())}), -1);
    EXPECT_EQ(FindBytes({OfByteSet(nullptr), OfByteSet(s.get())}), -1);
}

// Long subjects are searched by pairs of bytes after the first stretch: the answer must be
// the plain first occurrence for every pattern length, on text full of near misses.
TEST(Text, FindBytesInLongSubjects) {
    std::mt19937 rng(7);
    std::string subject(20000, 'a');
    for (char& c : subject) c = "ab<\x80/"[rng() % 5];
    for (size_t m : {1, 2, 3, 4, 5, 9, 16, 40, 256, 257, 300}) {
        for (int trial = 0; trial < 40; ++trial) {
            size_t from = rng() % (subject.size() - m);
            std::string sought = subject.substr(from, m);
            if (trial % 2) sought[rng() % m] = 'x';  // mostly absent
            int32_t start = static_cast<int32_t>(rng() % subject.size()) + 1;
            size_t plain = subject.find(sought, static_cast<size_t>(start - 1));
            int32_t expected = plain == std::string::npos ? -1 : static_cast<int32_t>(plain) + 1;
            EXPECT_EQ(FindBytesIn(reinterpret_cast<const uint8_t*>(subject.data()), static_cast<int32_t>(subject.size()),
                                  reinterpret_cast<const uint8_t*>(sought.data()), static_cast<int32_t>(m), start),
                      expected)
                << "m " << m << " start " << start;
        }
    }
}

}  // namespace
