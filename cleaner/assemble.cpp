#include "cleaner/assemble.h"

#include <cstring>

#include "runtime/memory.h"
#include "runtime/text.h"

namespace cleaner {

namespace {

constexpr char kItemSeparator[] = "\r\n\t\t\t\t\t";
constexpr char kListEnd[] = "\r\n\t\t\t\t";

SaveView Constant(const char* text, size_t n) { return {reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(n)}; }

}  // namespace

std::vector<SaveView> ListPieces(const std::vector<SaveView>& items) {
    std::vector<SaveView> pieces;
    for (const SaveView& item : items) {
        pieces.push_back(Constant(kItemSeparator, sizeof kItemSeparator - 1));
        pieces.push_back(item);
    }
    pieces.push_back(Constant(kListEnd, sizeof kListEnd - 1));
    return pieces;
}

runtime::OwnedBytes AssembleOutput(SaveView file, const std::vector<Splice>& splices) {
    std::vector<SaveView> parts;
    int64_t at = 0;
    for (const Splice& splice : splices) {
        parts.push_back(file.MidBytes(at + 1, splice.from - at));
        parts.insert(parts.end(), splice.pieces.begin(), splice.pieces.end());
        at = splice.to;
    }
    parts.push_back(file.MidBytes(at + 1, int64_t{file.length} - at));

    int64_t size = 0;
    for (const SaveView& part : parts) size += part.length;
    if (size > INT32_MAX - 8) runtime::OutOfMemory();
    runtime::OwnedBytes out(runtime::NewByteSet(static_cast<int32_t>(size)));
    uint8_t* put = runtime::BytesData(out.get());
    for (const SaveView& part : parts) {
        if (part.length > 0) std::memcpy(put, part.data, static_cast<size_t>(part.length));
        put += part.length;
    }
    return out;
}

}  // namespace cleaner
