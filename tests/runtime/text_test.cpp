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

// Left, right and mid cuts of texts ("abcdef") and byte sets ("abcd"): the same edge rules,
// but a mid text starting at 0 or below is empty where a byte set's starts at 1.
TEST(Text, Cutting) {
    struct Row {
        char kind, op;  // 't'ext or 'b'ytes; 'l'eft, 'r'ight, 'm'id
        int32_t start, count;
        const char* expected;  // null: the result is null
    } rows[] = {
        {'t', 'l', 0, 7, "abcdef"}, {'t', 'l', 0, 0, nullptr}, {'t', 'l', 0, -1, nullptr},
        {'t', 'r', 0, 1, "f"},      {'t', 'r', 0, 9, "abcdef"}, {'t', 'r', 0, 0, nullptr},
        {'t', 'm', 2, 3, "bcd"},    {'t', 'm', 5, 10, "ef"},    {'t', 'm', 0, 2, nullptr},
        {'t', 'm', 7, 1, nullptr},  {'t', 'm', 6, 1, "f"},      {'t', 'm', 1, 0, nullptr},
        {'t', 'm', 2, INT32_MAX, "bcdef"},
        {'b', 'm', 0, 2, "ab"},     {'b', 'm', -5, 2, "ab"},    {'b', 'm', 5, 1, nullptr},
        {'b', 'm', 2, 10, "bcd"},   {'b', 'm', 4, 1, "d"},      {'b', 'm', 2, 0, nullptr},
        {'b', 'm', 1, INT32_MAX, "abcd"}, {'b', 'l', 0, 9, "abcd"}, {'b', 'l', 0, 0, nullptr},
        {'b', 'r', 0, 1, "d"},      {'b', 'r', 0, -1, nullptr},
    };
    OwnedBytes abcd = Bytes("abcd");
    for (const Row& r : rows) {
        std::string got;
        bool null = false;
        if (r.kind == 't') {
            TaggedValue t = OfText("abcdef");
            OwnedText cut(r.op == 'l'   ? LeftText({t, OfInt32(r.count)})
                          : r.op == 'r' ? RightText({t, OfInt32(r.count)})
                                        : MidText({t, OfInt32(r.start), OfInt32(r.count)}));
            null = cut == nullptr;
            got = Str(cut);
        } else {
            TaggedValue b = OfByteSet(abcd.get());
            OwnedBytes cut(r.op == 'l'   ? LeftBytes({b, OfInt32(r.count)})
                           : r.op == 'r' ? RightBytes({b, OfInt32(r.count)})
                                         : MidBytes({b, OfInt32(r.start), OfInt32(r.count)}));
            null = cut == nullptr;
            got = Str(cut);
        }
        EXPECT_EQ(null ? "(null)" : got, r.expected ? r.expected : "(null)")
            << r.kind << r.op << " " << r.start << " " << r.count;
    }
    OwnedText spaces(SpaceText({OfInt32(3)}));
    EXPECT_EQ(Str(spaces), "   ");
    EXPECT_EQ(SpaceText({OfInt32(0)}), nullptr);
    EXPECT_EQ(LeftText({OfText(""), OfInt32(2)}), nullptr);
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
        {std::string("a\0b", 3), std::string("\0b", 2), kNoArg, 2},
        {"\xE4\xBC\xA4<li>", "<li>", kNoArg, 4},  // bytes know no characters
        {"abc", "c", OfInt32(-2), 3},
        {"abc", "", kNoArg, -1},
    };
    for (const Row& r : rows) {
        OwnedBytes s = Bytes(r.subject), k = Bytes(r.sought);
        EXPECT_EQ(FindBytes({OfByteSet(s.get()), OfByteSet(k ? k.get() : kEmptyBytes.get()), r.start}), r.expected)
            << r.subject << " / " << r.sought;
    }
}

// Long subjects are searched sixty-four starts at a time, then sixteen: the answer must be
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
