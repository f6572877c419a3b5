#include "cleaner/assemble.h"

#include <cstring>

#include "runtime/memory.h"
#include "runtime/text.h"

namespace cleaner {

namespace {

constexpr char kItemSeparator[] = "\r\n\t\t\t\t\t";
constexpr char kListEnd[] = "\r\n\t\t\t\t";

}  // namespace

runtime::OwnedBytes AssembleOutput(SaveView file, int64_t head_length, const std::vector<SaveView>& pieces,
                                   int64_t tail_from) {
    const SaveView head = file.MidBytes(1, head_length);
    const SaveView tail = file.MidBytes(tail_from, int64_t{file.length} - tail_from + 1);
    int64_t size = int64_t{head.length} + (sizeof kListEnd - 1) + tail.length;
    for (const SaveView& piece : pieces) size += (sizeof kItemSeparator - 1) + piece.length;
    if (size > INT32_MAX - 8) runtime::OutOfMemory();

    runtime::OwnedBytes out(runtime::NewByteSet(static_cast<int32_t>(size)));
    uint8_t* at = runtime::BytesData(out.get());
    auto put = [&at](const void* bytes, size_t n) {
        if (n > 0) std::memcpy(at, bytes, n);
        at += n;
    };
    put(head.data, static_cast<size_t>(head.length));
    for (const SaveView& piece : pieces) {
        put(kItemSeparator, sizeof kItemSeparator - 1);
        put(piece.data, static_cast<size_t>(piece.length));
    }
    put(kListEnd, sizeof kListEnd - 1);
    put(tail.data, static_cast<size_t>(tail.length));
    return out;
}

}  // namespace cleaner
