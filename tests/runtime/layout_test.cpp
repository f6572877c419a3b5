// The block layouts the program shares with the platform. On the 32-bit product every
// pointer member is 4 bytes, so the blocks are exactly the documented ones.
#include <cstddef>

#include "runtime/array.h"
#include "runtime/value.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;

static_assert(sizeof(TaggedValue) == 12);
static_assert(offsetof(TaggedValue, value) == 0 && offsetof(TaggedValue, high) == 4 &&
              offsetof(TaggedValue, type) == 8);
static_assert(sizeof(ByteSetHeader) == 8);
static_assert(offsetof(ConstBytes<11>, data) == 8);
#if defined(_WIN32) && !defined(_WIN64)
static_assert(kPointerMemberSize == 4, "the 32-bit product stores 4-byte pointer members");
#endif

TEST(Layout, ByteSetAndArrayBlocks) {
    constexpr auto kTag = MakeConstBytes("<pawnsAlive");
    const auto* raw = reinterpret_cast<const uint8_t*>(kTag.get());
    EXPECT_EQ(raw[0], 1);   // dimension count
    EXPECT_EQ(raw[4], 11);  // length, no terminator counted
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + 8), 11), "<pawnsAlive");

    ArrayCell cell = NewTextArray();
    AppendMember(cell, "a");
    AppendMember(cell, "b");
    const auto* block = reinterpret_cast<const uint8_t*>(*cell);
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(block[4], 2);
    EXPECT_EQ(ReferenceMember(*cell, 2) - block, static_cast<std::ptrdiff_t>(8 + kPointerMemberSize));
    ReleaseArray(cell);

    // A pointer stored in a tagged value comes back whole; on 32 bits its high word is 0.
    TaggedValue v = OfText("x");
    EXPECT_STREQ(v.AsText(), "x");
    if (sizeof(void*) == 4) {
        EXPECT_EQ(v.high, 0u);
    }
}

}  // namespace
