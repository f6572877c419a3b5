// Cutting and searching the save in place.
#include "cleaner/save_view.h"

#include <cstring>

#include "runtime/text.h"

namespace cleaner {

SaveView SaveView::Of(runtime::ConstByteSet bytes) {
    int32_t n = runtime::BytesLengthOf(bytes);
    return {n > 0 ? runtime::BytesData(bytes) : nullptr, n > 0 ? n : 0};
}

int32_t SaveView::Find(const uint8_t* sought, int32_t m, int32_t start) const {
    return runtime::FindBytesIn(data, length, sought, m, start);
}

namespace {

SaveView Within(const uint8_t* data, runtime::Cut cut) {
    return cut.count > 0 ? SaveView{data + cut.offset, cut.count} : SaveView{nullptr, 0};
}

}  // namespace

SaveView SaveView::MidBytes(int32_t start, int32_t count) const {
    return Within(data, runtime::MidBytesCut(length, start, count));
}

SaveView SaveView::MidText(int32_t start, int32_t count) const {
    return Within(data, runtime::MidTextCut(length, start, count));
}

SaveView SaveView::AsText() const {
    if (length <= 0) return {nullptr, 0};
    auto nul = static_cast<const uint8_t*>(std::memchr(data, 0, static_cast<size_t>(length)));
    return {data, nul == nullptr ? length : static_cast<int32_t>(nul - data)};
}

}  // namespace cleaner
