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

SaveView SaveView::MidBytes(int32_t start, int32_t count) const {
    const int32_t L = length;
    if (L <= 0 || count <= 0) return {nullptr, 0};
    if (static_cast<int64_t>(start) - 1 > L) return {nullptr, 0};
    if (start <= 0) start = 1;
    if (static_cast<int64_t>(start) + count - 1 >= L) count = L - start + 1;
    if (count <= 0) return {nullptr, 0};
    return {data + (start - 1), count};
}

SaveView SaveView::MidText(int32_t start, int32_t count) const {
    const int32_t L = length;
    if (L == 0 || count <= 0 || start <= 0 || start > L) return {nullptr, 0};
    if (static_cast<int64_t>(start) + count > L) count = L - start + 1;
    return {data + (start - 1), count};
}

SaveView SaveView::AsText() const {
    if (length <= 0) return {nullptr, 0};
    auto nul = static_cast<const uint8_t*>(std::memchr(data, 0, static_cast<size_t>(length)));
    return {data, nul == nullptr ? length : static_cast<int32_t>(nul - data)};
}

}  // namespace cleaner
