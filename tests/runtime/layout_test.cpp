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

}  // namespace
