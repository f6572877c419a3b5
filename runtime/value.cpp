// Builders of tagged arguments and the shared image constants.
#include "runtime/value.h"

#include "runtime/array.h"

namespace runtime {

const char kEmptyText[1] = "";
constinit const ConstBytes<0> kEmptyBytes = {1, 0, {0}};

size_t MemberSize(uint32_t code) {
    switch (static_cast<ValueKind>(code)) {
        case ValueKind::Byte: return 1;
        case ValueKind::Int16: return 2;
        case ValueKind::Bool:
        case ValueKind::Int32:
        case ValueKind::Float: return 4;
        case ValueKind::DateTime:
        case ValueKind::Int64:
        case ValueKind::Double: return 8;
        case ValueKind::Text:
        case ValueKind::ByteSet:
        case ValueKind::SubroutinePointer: return kPointerMemberSize;
        default: return 0;
    }
}

TaggedValue Absent() { return {0, 0, 0}; }

TaggedValue OfBits(ValueKind kind, uint64_t bits) {
    return {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32),
            static_cast<uint32_t>(kind)};
}

TaggedValue OfBool(bool b) { return OfBits(ValueKind::Bool, b ? 1 : 0); }
TaggedValue OfInt32(int32_t n) { return OfBits(ValueKind::Int32, static_cast<uint32_t>(n)); }
TaggedValue OfInt64(int64_t n) { return OfBits(ValueKind::Int64, static_cast<uint64_t>(n)); }

TaggedValue OfDouble(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return OfBits(ValueKind::Double, bits);
}

TaggedValue OfDateTime(double days) {
    TaggedValue v = OfDouble(days);
    v.type = static_cast<uint32_t>(ValueKind::DateTime);
    return v;
}

TaggedValue OfFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return OfBits(ValueKind::Float, bits);
}

TaggedValue OfPointer(uint32_t code, const void* p) {
    TaggedValue v = OfBits(ValueKind::Absent, reinterpret_cast<uintptr_t>(p));
    v.type = code;
    return v;
}

TaggedValue OfText(ConstText t) { return OfPointer(static_cast<uint32_t>(ValueKind::Text), t); }

TaggedValue OfByteSet(ConstByteSet b) {
    return OfPointer(static_cast<uint32_t>(ValueKind::ByteSet), b);
}

}  // namespace runtime
