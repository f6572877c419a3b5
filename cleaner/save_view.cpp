// Cutting and searching the save in place.
#include "cleaner/save_view.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/text.h"

namespace cleaner {

SaveView SaveView::Of(runtime::ConstByteSet bytes) {
    int32_t n = runtime::BytesLengthOf(bytes);
    return {n > 0 ? runtime::BytesData(bytes) : nullptr, n > 0 ? n : 0};
}

namespace {

// A 64-bit position or count held within what the 32-bit cuts and searches tell apart: all
// values of 0 and below mean the same to them, and so do all values past the subject.
int32_t Held(int64_t n) { return static_cast<int32_t>(std::clamp<int64_t>(n, -1, INT32_MAX)); }

SaveView Within(const uint8_t* data, runtime::Cut cut) {
    return cut.count > 0 ? SaveView{data + cut.offset, cut.count} : SaveView{nullptr, 0};
}

}  // namespace

int32_t SaveView::Find(const uint8_t* sought, int32_t m, int64_t start) const {
    return runtime::FindBytesIn(data, length, sought, m, Held(start));
}

SaveView SaveView::MidBytes(int64_t start, int64_t count) const {
    return Within(data, runtime::MidBytesCut(length, Held(start), Held(count)));
}

SaveView SaveView::MidText(int64_t start, int64_t count) const {
    return Within(data, runtime::MidTextCut(length, Held(start), Held(count)));
}

SaveView SaveView::AsText() const {
    if (length <= 0) return {nullptr, 0};
    auto nul = static_cast<const uint8_t*>(std::memchr(data, 0, static_cast<size_t>(length)));
    return {data, nul == nullptr ? length : static_cast<int32_t>(nul - data)};
}

}  // namespace cleaner
