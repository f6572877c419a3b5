// Dynamic arrays, BlankBytes, ReplaceBytes and ByteBuffer.
#include "runtime/array.h"

#include <algorithm>
#include <cstring>

#include "runtime/memory.h"
#include "runtime/text.h"

namespace runtime {

namespace {

int32_t ReadInt32(const void* at) {
    int32_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void WriteInt32(void* at, int32_t v) { std::memcpy(at, &v, sizeof v); }

void WriteTextMember(uint8_t* at, Text t) { std::memcpy(at, &t, sizeof t); }

const uint8_t* Bytes(const DynamicArray* block) { return reinterpret_cast<const uint8_t*>(block); }

// A one-dimensional block of n pointer members, cleared.
DynamicArray* NewPointerBlock(int32_t n) {
    uint32_t size = SizeSum(8, SizeProduct(kPointerMemberSize, n));
    auto block = static_cast<DynamicArray*>(AllocateMemory(size));
    block->dimension_count = 1;
    WriteInt32(reinterpret_cast<uint8_t*>(block) + 4, n);
    return block;
}

}  // namespace

ArrayView ArrayElements(const DynamicArray* block) {
    if (block == nullptr) return {nullptr, 0};
    int32_t dims = block->dimension_count;
    int64_t count = 1;
    for (int32_t i = 0; i < dims; ++i) count *= ReadInt32(Bytes(block) + 4 + 4 * i);
    auto first = const_cast<uint8_t*>(Bytes(block)) + 4 + 4 * dims;
    return {first, static_cast<int32_t>(count)};
}

int32_t ArrayMemberCount(const DynamicArray* block) { return ArrayElements(block).count; }

uint8_t* ReferenceMember(const DynamicArray* block, int32_t index) {
    ArrayView v = ArrayElements(block);
    if (index - 1 < 0) RaiseRuntimeError(4);
    if (index - 1 >= v.count) RaiseRuntimeError(1);
    // Only arrays of pointer members are referenced in this program.
    return v.first + static_cast<size_t>(index - 1) * kPointerMemberSize;
}

Text TextMemberAt(const uint8_t* address) {
    Text t;
    std::memcpy(&t, address, sizeof t);
    return t;
}

ArrayCell NewTextArray() {
    auto cell = static_cast<ArrayCell>(AllocateMemory(sizeof(DynamicArray*)));
    *cell = NewPointerBlock(0);
    return cell;
}

void MakeArrayWritable(size_t member_size, ArrayCell cell) {
    DynamicArray* block = *cell;
    if (block == nullptr || !IsImageConstant(block)) return;
    ArrayView v = ArrayElements(block);
    uint32_t size = SizeSum(4 + 4 * static_cast<int64_t>(block->dimension_count),
                            SizeProduct(member_size, v.count));
    auto copy = static_cast<DynamicArray*>(AllocateMemory(size));
    std::memcpy(copy, block, size);
    *cell = copy;
}

void AppendMember(ArrayCell cell, ConstText text) {
    MakeArrayWritable(kPointerMemberSize, cell);
    DynamicArray* block = *cell;
    ArrayView v = ArrayElements(block);
    int32_t c = v.count;
    uint32_t size = SizeSum(8, SizeProduct(kPointerMemberSize, static_cast<int64_t>(c) + 1));
    if (block != nullptr) {
        // The new header is never longer than the old one: rewrite it, then pull the
        // members down behind it.
        uint8_t* raw = reinterpret_cast<uint8_t*>(block);
        WriteInt32(raw, 1);
        WriteInt32(raw + 4, c + 1);
        if (v.first != raw + 8) std::memmove(raw + 8, v.first, c * kPointerMemberSize);
    }
    auto grown = static_cast<DynamicArray*>(ReallocateMemory(block, size));
    if (grown == nullptr) OutOfMemory();
    uint8_t* raw = reinterpret_cast<uint8_t*>(grown);
    WriteInt32(raw, 1);
    WriteInt32(raw + 4, c + 1);
    *cell = grown;
    WriteTextMember(raw + 8 + c * kPointerMemberSize, MakeText(text, TextLengthOf(text)));
}

void ResizeArray(ArrayCell cell, int32_t n) {
    n = std::max(n, 0);
    DynamicArray* old = *cell;
    ArrayView v = ArrayElements(old);
    DynamicArray* block = NewPointerBlock(n);
    uint8_t* members = reinterpret_cast<uint8_t*>(block) + 8;
    int32_t kept = std::min(v.count, n);
    if (kept > 0) std::memcpy(members, v.first, kept * kPointerMemberSize);
    for (int32_t i = kept; i < v.count; ++i)
        FreeMemory(TextMemberAt(v.first + i * kPointerMemberSize));
    FreeMemory(old);
    *cell = block;
}

void ReleaseArray(ArrayCell cell) {
    if (cell == nullptr) return;
    ArrayView v = ArrayElements(*cell);
    for (int32_t i = 0; i < v.count; ++i) FreeMemory(TextMemberAt(v.first + i * kPointerMemberSize));
    FreeMemory(*cell);
    FreeMemory(cell);
}

Text ArrayBytesToText(const DynamicArray* block, size_t member_size) {
    ArrayView v = ArrayElements(block);
    int64_t total = static_cast<int64_t>(v.count) * static_cast<int64_t>(member_size);
    if (total <= 0) return nullptr;
    auto nul = static_cast<const uint8_t*>(std::memchr(v.first, 0, static_cast<size_t>(total)));
    int64_t n = nul == nullptr ? total : nul - v.first;
    if (n > INT32_MAX) OutOfMemory();
    return MakeText(v.first, static_cast<int32_t>(n));
}

ByteSet BlankBytes(ArgList args) {
    int32_t n = args[0].AsInt32();
    if (n <= 0) return nullptr;
    auto b = static_cast<ByteSet>(AllocateMemory(SizeSum(n, 8)));
    b->dimension_count = 1;
    b->length = n;
    return b;
}

namespace {

// ReplaceBytes has no failure of its own: a buffer that cannot grow stops like memory.
void MustAppend(ByteBuffer& out, const void* source, int64_t count) {
    if (count > INT32_MAX || !out.Append(source, static_cast<int32_t>(count))) OutOfMemory();
}

}  // namespace

ByteSet ReplaceBytes(ArgList args) {
    ConstByteSet data = args[0].AsByteSet(), pattern = args[1].AsByteSet();
    ConstByteSet replacement = args[2].Present() ? args[2].AsByteSet() : nullptr;
    const int32_t L = BytesLengthOf(data), m = BytesLengthOf(pattern);
    const int32_t r = BytesLengthOf(replacement);
    const int32_t k = args[3].Present() ? std::max(args[3].AsInt32() - 1, 0) : 0;
    const bool counted = args[4].Present();
    int32_t q = counted ? std::max(args[4].AsInt32(), 0) : 1;

    const uint8_t* d = L > 0 ? BytesData(data) : nullptr;
    ByteBuffer out;
    int32_t cursor = 0;
    if (L > 0 && m > 0 && k < L && q != 0) {
        const uint8_t* p = BytesData(pattern);
        MustAppend(out, d, k);
        cursor = k;
        while (L - cursor >= m) {
            auto hit = static_cast<const uint8_t*>(std::memchr(d + cursor, p[0], L - cursor));
            if (hit == nullptr) break;
            MustAppend(out, d + cursor, hit - (d + cursor));
            cursor = static_cast<int32_t>(hit - d);
            if (L - cursor < m) break;
            if (std::memcmp(d + cursor, p, m) != 0) {
                if (!out.AppendByte(d[cursor])) OutOfMemory();
                ++cursor;
                continue;
            }
            MustAppend(out, r > 0 ? BytesData(replacement) : nullptr, r);
            cursor += m;
            if (counted && --q == 0) break;
        }
    }
    MustAppend(out, d == nullptr ? nullptr : d + cursor, L - cursor);
    return MakeByteSet(out.data(), out.length());
}

ByteBuffer::~ByteBuffer() { Release(); }

uint8_t* ByteBuffer::Resize(int32_t need) {
    if (need <= 0) {
        Release();
        return nullptr;
    }
    if (data_ != nullptr && capacity_ >= need && capacity_ - need <= 256) {
        length_ = need;
        return data_;
    }
    if (need > INT32_MAX - 128) return nullptr;
    platform::HeapHandle heap = EnsureProcessHeap();
    void* grown = data_ == nullptr
                      ? platform::slots.HeapAlloc(heap, 0, static_cast<size_t>(need) + 128)
                      : platform::slots.HeapReAlloc(heap, 0, data_, static_cast<size_t>(need) + 128);
    if (grown == nullptr) return nullptr;
    data_ = static_cast<uint8_t*>(grown);
    capacity_ = need + 128;
    length_ = need;
    return data_;
}

bool ByteBuffer::Append(const void* source, int32_t count) {
    if (count <= 0) return true;
    int32_t at = length_;
    if (count > INT32_MAX - at || Resize(at + count) == nullptr) return false;
    if (source != nullptr) {
        std::memcpy(data_ + at, source, static_cast<size_t>(count));
    } else {
        std::memset(data_ + at, 0, static_cast<size_t>(count));
    }
    return true;
}

bool ByteBuffer::AppendByte(uint8_t byte) {
    if (length_ < capacity_) {
        data_[length_++] = byte;
        return true;
    }
    return Append(&byte, 1);
}

void ByteBuffer::Release() {
    if (data_ != nullptr) platform::slots.HeapFree(EnsureProcessHeap(), 0, data_);
    data_ = nullptr;
    capacity_ = 0;
    length_ = 0;
}

}  // namespace runtime
