// The value kinds every run-time operation works with.
//
// Text     A NUL-terminated GBK byte string in one heap block; no stored length. The null
//          pointer is the empty text. Operations return null, never an empty block, for an
//          empty result (ConcatText excepted).
//
// ByteSet  One block: int32 dimension count (always 1), int32 length n, then n bytes with
//          no terminator. It is a one-dimensional DynamicArray of bytes. The null pointer is
//          the empty byte set; a block of length 0 counts as empty everywhere.
//
// TaggedValue  One argument of a run-time operation: three 32-bit words, value, high and
//          type, in this order. A 64-bit payload keeps its low half in `value` and its high
//          half in `high`. A pointer is stored the same way as an unsigned integer of its
//          width: on the 32-bit product it fits `value` and `high` stays 0, as the block
//          layouts require; on a 64-bit host its upper half goes to `high`. Type 0 marks an
//          absent optional argument.
//
// Image constants  Texts, byte sets and array headers built into the program's read-only
//          data. They are read like any other value, never written, and FreeMemory ignores
//          them. ConstByteSet below makes the byte-set ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace runtime {

using Text = char*;
using ConstText = const char*;

struct ByteSetHeader {
    int32_t dimension_count;
    int32_t length;
};
using ByteSet = ByteSetHeader*;
using ConstByteSet = const ByteSetHeader*;

inline uint8_t* BytesData(ByteSet b) { return reinterpret_cast<uint8_t*>(b + 1); }
inline const uint8_t* BytesData(ConstByteSet b) { return reinterpret_cast<const uint8_t*>(b + 1); }

// The type codes of TaggedValue; this is the one table of them.
enum class ValueKind : uint32_t {
    Absent = 0,
    Bool = 0x80000002,
    DateTime = 0x80000003,
    Text = 0x80000004,
    ByteSet = 0x80000005,
    SubroutinePointer = 0x80000006,
    Byte = 0x80000101,
    Int16 = 0x80000201,
    Int32 = 0x80000301,
    Int64 = 0x80000401,
    Float = 0x80000501,
    Double = 0x80000601,
};

// Added to a kind's code: an array (DynamicArray) of members of that kind.
constexpr uint32_t kArrayFlag = 0x20000000;

// Member size of a kind in arrays; pointer kinds take a pointer of the target. 0 for codes
// that have no members.
size_t MemberSize(uint32_t member_code);
// System kinds have their top two bits 10; numeric kinds are system kinds with low byte 01.
constexpr bool IsSystemKind(uint32_t code) { return (code & 0xC0000000u) == 0x80000000u; }
constexpr bool IsNumericKind(uint32_t code) { return IsSystemKind(code) && (code & 0xFF) == 0x01; }

struct TaggedValue {
    uint32_t value;
    uint32_t high;
    uint32_t type;

    uint64_t Bits() const { return (static_cast<uint64_t>(high) << 32) | value; }
    int32_t AsInt32() const { return static_cast<int32_t>(value); }
    double AsDouble() const {
        double d;
        uint64_t bits = Bits();
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    void* AsPointer() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(Bits())); }
    ConstText AsText() const { return static_cast<ConstText>(AsPointer()); }
    ConstByteSet AsByteSet() const { return static_cast<ConstByteSet>(AsPointer()); }
    bool Present() const { return type != 0; }
    bool Is(ValueKind kind) const { return type == static_cast<uint32_t>(kind); }
};
static_assert(sizeof(TaggedValue) == 12, "three 32-bit words");

// Builders for the calling side.
TaggedValue Absent();
TaggedValue OfBits(ValueKind kind, uint64_t bits);
TaggedValue OfBool(bool b);
TaggedValue OfInt32(int32_t n);
TaggedValue OfInt64(int64_t n);
TaggedValue OfDouble(double d);
TaggedValue OfFloat(float f);
TaggedValue OfDateTime(double days);
TaggedValue OfText(ConstText t);
TaggedValue OfByteSet(ConstByteSet b);
TaggedValue OfPointer(uint32_t code, const void* p);

// The tagged calling form: the number of arguments passed, then that many values.
struct ArgList {
    int count;
    const TaggedValue* values;

    // The list lives until the end of the call's full expression, which is all we need.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winit-list-lifetime"
#endif
    ArgList(std::initializer_list<TaggedValue> list)
        : count(static_cast<int>(list.size())), values(list.begin()) {}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    ArgList(int n, const TaggedValue* v) : count(n), values(v) {}

    // The i-th argument (0-based), or an absent one past the end.
    TaggedValue operator[](int i) const { return i < count ? values[i] : Absent(); }
};

// A byte-set image constant: the same layout as a heap ByteSet.
template <size_t N>
struct ConstBytes {
    int32_t dimension_count;
    int32_t length;
    uint8_t data[N == 0 ? 1 : N];

    ConstByteSet get() const { return reinterpret_cast<ConstByteSet>(this); }
};

// ConstBytes from a literal, without its terminating NUL.
template <size_t M>
constexpr ConstBytes<M - 1> MakeConstBytes(const char (&literal)[M]) {
    ConstBytes<M - 1> b{1, static_cast<int32_t>(M - 1), {}};
    for (size_t i = 0; i + 1 < M; ++i) b.data[i] = static_cast<uint8_t>(literal[i]);
    return b;
}

// The empty text and the empty byte set, as image constants.
extern const char kEmptyText[1];
extern const ConstBytes<0> kEmptyBytes;

}  // namespace runtime
