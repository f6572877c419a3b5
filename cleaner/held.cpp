// Held references, found with exact byte searches.
#include "cleaner/held.h"

#include <algorithm>

namespace cleaner {

namespace {

constexpr char kReference[] = ">Thing_";
constexpr int32_t kReferenceLength = 7;

std::string_view Bytes(const uint8_t* data, int64_t n) {
    return {reinterpret_cast<const char*>(data), static_cast<size_t>(n)};
}

// Every ">Thing_" + id + "<" inside `region`, the id never empty.
void AddReferences(SaveView region, std::vector<std::string_view>& ids) {
    for (int32_t q = region.Find(kReference); q != -1; q = region.Find(kReference, int64_t{q} + 1)) {
        int64_t id_start = int64_t{q} + kReferenceLength;
        int32_t end = region.Find("<", id_start);
        if (end == -1) break;  // no "<" further on: no later occurrence has one either
        if (end > id_start) ids.push_back(Bytes(region.data + (id_start - 1), end - id_start));
    }
}

// From the first `open` at or after `from` through the end of the first `close` after it;
// empty when either is missing. `*next` is where to look for the next region.
template <size_t N, size_t M>
SaveView Region(SaveView in, const char (&open)[N], const char (&close)[M], int64_t from = 1,
                int64_t* next = nullptr) {
    int32_t s = in.Find(open, from);
    int32_t e = s == -1 ? -1 : in.Find(close, int64_t{s} + (N - 1));
    if (next != nullptr) *next = e == -1 ? -1 : int64_t{e} + (M - 1);
    if (e == -1) return {nullptr, 0};
    return in.MidBytes(s, int64_t{e} + (M - 1) - s);
}

}  // namespace

std::vector<std::string_view> CollectHeldIds(SaveView file, SaveView faction_section) {
    std::vector<std::string_view> ids;
    AddReferences(Region(file, "<worldObjects>", "</worldObjects>"), ids);
    for (int64_t from = 1; from != -1;) {
        SaveView kidnapped = Region(faction_section, "<kidnappedPawns>", "</kidnappedPawns>", from, &from);
        AddReferences(kidnapped, ids);
    }
    AddReferences(Region(file, "<questManager>", "</questManager>"), ids);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

}  // namespace cleaner
