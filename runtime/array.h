// Dynamic arrays, the byte-set helpers built on their layout, and ByteBuffer.
//
// DynamicArray block, little-endian, packed, no capacity field:
//   int32 dimension count d
//   d x int32 dimension sizes, first dimension first
//   members, packed: (product of the sizes) x member size
// The block is always exactly 4 + 4d + count x size bytes; adding a member reallocates it.
// Members of kind Text are one pointer each (4 bytes on the 32-bit product) and are owned
// by the array. A ByteSet is the block with d = 1 and 1-byte members.
//
// A variable of array type keeps its block pointer in a holder cell (one pointer, on the
// heap). Operations that replace the block take the cell and store the new block in it.
// A block that is an image constant is copied to the heap by MakeArrayWritable before any
// change; its Text members are image constants too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/value.h"

namespace runtime {

struct DynamicArray {
    int32_t dimension_count;  // followed by the sizes and the members
};
using ArrayCell = DynamicArray**;

// Size of a Text or ByteSet member: one pointer of the target.
constexpr size_t kPointerMemberSize = sizeof(void*);

struct ArrayView {
    uint8_t* first;   // null for a null block
    int32_t count;
};

int32_t ArrayMemberCount(const DynamicArray* block);
ArrayView ArrayElements(const DynamicArray* block);
// Address of member i (1-based); error 4 below 1, error 1 past the end.
uint8_t* ReferenceMember(const DynamicArray* block, int32_t index);
// The Text member at `address` (members may sit unaligned on a 64-bit host).
Text TextMemberAt(const uint8_t* address);

// A new holder cell holding an empty one-dimensional array.
ArrayCell NewTextArray();
// Array of Text: appends a fresh copy of `text` (null stays null).
void AppendMember(ArrayCell cell, ConstText text);
// Array of Text: becomes one-dimensional with n members; members move, extras are freed.
void ResizeArray(ArrayCell cell, int32_t n);
// Array of Text: frees the members, the block and the cell.
void ReleaseArray(ArrayCell cell);
// Holds a cell and its array of Text, released with ReleaseArray.
struct ReleaseArrayDeleter {
    void operator()(ArrayCell cell) const { ReleaseArray(cell); }
};
using OwnedArray = std::unique_ptr<DynamicArray*, ReleaseArrayDeleter>;
void MakeArrayWritable(size_t member_size, ArrayCell cell);
// The member bytes up to the first NUL as a new Text; null when that is empty.
Text ArrayBytesToText(const DynamicArray* block, size_t member_size);

// Tagged form.
ByteSet BlankBytes(ArgList args);    // count
ByteSet ReplaceBytes(ArgList args);  // data, pattern, [replacement], [start], [count]

// A growable byte buffer straight on the process heap (not cleared, no stop of its own).
// Keeps 128 bytes of slack on every allocation and shrinks only for more than 256 spare.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    virtual ~ByteBuffer();

    // Sets the length to `need`; the data pointer, or null when need is 0 or on failure
    // (the buffer then keeps what it had).
    uint8_t* Resize(int32_t need);
    // Appends count bytes from source, or count zeros when source is null.
    bool Append(const void* source, int32_t count);
    bool AppendByte(uint8_t byte);
    void Release();

    uint8_t* data() const { return data_; }
    int32_t capacity() const { return capacity_; }
    int32_t length() const { return length_; }

private:
    uint8_t* data_ = nullptr;
    int32_t capacity_ = 0;
    int32_t length_ = 0;
};

}  // namespace runtime
