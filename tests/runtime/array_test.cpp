// Arrays of texts, BlankBytes, ReplaceBytes and the growth policy of ByteBuffer.
#include <algorithm>

#include "runtime/array.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::Str;

class Arrays : public testutil::SlotTest {};

std::string MemberAt(ArrayCell cell, int32_t i) { return Str(TextMemberAt(ReferenceMember(*cell, i))); }

// A constant array of two texts, laid out as a heap block would be.
struct ConstTextPair {
    int32_t dimension_count;
    int32_t size;
    const char* members[2];
};
constexpr ConstTextPair kConstPair = {1, 2, {"one", "two"}};

TEST_F(Arrays, ImageConstantIsCopiedBeforeAChange) {
    auto cell = static_cast<ArrayCell>(AllocateMemory(sizeof(DynamicArray*)));
    *cell = reinterpret_cast<DynamicArray*>(const_cast<ConstTextPair*>(&kConstPair));
    AppendMember(cell, "three");
    EXPECT_NE(static_cast<const void*>(*cell), static_cast<const void*>(&kConstPair));
    EXPECT_EQ(kConstPair.size, 2);
    ASSERT_EQ(ArrayMemberCount(*cell), 3);
    EXPECT_EQ(MemberAt(cell, 2), "two");
    EXPECT_EQ(MemberAt(cell, 3), "three");
    testutil::Unfreeable() = {kConstPair.members[0], kConstPair.members[1], &kConstPair};
    platform::slots.HeapFree = testutil::RecordFree;
    ReleaseArray(cell);  // the constant members are ignored by the release
    for (const void* constant : testutil::Unfreeable())
        EXPECT_EQ(std::count(testutil::Freed().begin(), testutil::Freed().end(), constant), 0);
}

TEST_F(Arrays, ReplaceBytes) {
    constexpr TaggedValue kNo = {0, 0, 0};
    struct Row {
        std::string data, pattern;
        const char* replacement;  // null: absent
        TaggedValue start, count;
        std::string expected;
    } rows[] = {
        {"x|y|z", "|", "\0", kNo, kNo, std::string("x\0y\0z", 5)},
        {"||ab||", "|", "-", OfInt32(3), kNo, "||ab--"},
        {"abc", "b", "X", OfInt32(9), kNo, "abc"},
        {"a|b|c", "|", "+", kNo, OfInt32(1), "a+b|c"},
        {"a|b|c", "|", "+", kNo, OfInt32(0), "a|b|c"},
        {"a|b|c", "|", "+", kNo, OfInt32(-4), "a|b|c"},
        {"aaa", "aa", "b", kNo, kNo, "ba"},
        {"xaay", "aa", nullptr, kNo, kNo, "xy"},
        {"abab", "ab", "abab", kNo, kNo, "abababab"},  // replacements are not searched
        {"aXaab", "ab", "!", kNo, kNo, "aXa!"},
        {"ab", "abc", "!", kNo, kNo, "ab"},
        {"", "a", "b", kNo, kNo, ""},
    };
    for (const Row& r : rows) {
        OwnedBytes data = Bytes(r.data), pattern = Bytes(r.pattern);
        OwnedBytes replacement =
            r.replacement ? Bytes(std::string(r.replacement, r.replacement[0] ? std::strlen(r.replacement) : 1))
                          : nullptr;
        TaggedValue rep = r.replacement ? OfByteSet(replacement.get()) : kNo;
        TaggedValue d = OfByteSet(data ? data.get() : kEmptyBytes.get());
        OwnedBytes got(ReplaceBytes({d, OfByteSet(pattern.get()), rep, r.start, r.count}));
        EXPECT_EQ(Str(got), r.expected) << r.data << " / " << r.pattern;
        if (r.expected.empty()) {
            EXPECT_EQ(got, nullptr);
        }
    }
}

TEST_F(Arrays, ByteBufferGrowth) {
    ByteBuffer b;
    ASSERT_NE(b.Resize(10), nullptr);
    EXPECT_EQ(b.capacity(), 138);
    uint8_t* first = b.data();
    EXPECT_TRUE(b.Append("xyz", 3));
    EXPECT_EQ(b.length(), 13);
    EXPECT_EQ(b.data(), first);  // room was left: no heap call
    for (int i = 0; i < 125; ++i) EXPECT_TRUE(b.AppendByte('.'));
    EXPECT_EQ(b.capacity(), 138);
    EXPECT_TRUE(b.AppendByte('!'));  // full: grows to need + 128
    EXPECT_EQ(b.capacity(), 139 + 128);
    EXPECT_TRUE(b.Append(nullptr, 2));
    EXPECT_EQ(b.data()[b.length() - 1], 0);
    EXPECT_EQ(b.data()[10], 'x');

    platform::slots.HeapReAlloc = testutil::RefuseReAlloc;
    int32_t length = b.length();
    EXPECT_FALSE(b.Append(nullptr, 1000));
    EXPECT_EQ(b.length(), length);  // a refused growth keeps what was there
    EXPECT_EQ(b.data()[10], 'x');
    EXPECT_EQ(b.Resize(0), nullptr);
    EXPECT_EQ(b.capacity(), 0);
}

}  // namespace
