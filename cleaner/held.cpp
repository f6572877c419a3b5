// Held references and the list items they keep, found with exact byte searches.
#include "cleaner/held.h"

#include <algorithm>
#include <cstring>

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

namespace {

// The walk over the list's tags. Only "<" starts anything, so it hops from one to the next.
class ItemWalk {
public:
    ItemWalk(SaveView list, const std::vector<std::string_view>& held)
        : at_(list.data), end_(list.data + list.length), base_(list.data), held_(held), id_end_(list.data) {}

    std::vector<ListItem> Run() {
        while (at_ != nullptr && at_ < end_) {
            at_ = static_cast<const uint8_t*>(std::memchr(at_, '<', static_cast<size_t>(end_ - at_)));
            if (at_ == nullptr) break;
            Tag();
        }
        return kept_;
    }

private:
    bool Is(const char* s, size_t n) const {
        return static_cast<size_t>(end_ - at_) >= n && std::memcmp(at_, s, n) == 0;
    }

    // One tag at `at_`; leaves `at_` where the walk goes on.
    void Tag() {
        if (Is("<li>", 4) || Is("<li ", 4)) {
            auto close = static_cast<const uint8_t*>(std::memchr(at_ + 3, '>', static_cast<size_t>(end_ - at_ - 3)));
            if (close == nullptr) {  // a tag that never ends: nothing after it can close an item
                at_ = nullptr;
                return;
            }
            if (close[-1] != '/') Open();
            at_ = close + 1;
        } else if (Is("</li>", 5)) {
            if (depth_ > 0 && --depth_ == 0) Close();
            at_ += 5;
        } else if (seeking_ && Is("<id>", 4)) {
            seeking_ = false;
            OwnId();
            at_ += 4;
        } else {
            ++at_;
        }
    }

    void Open() {
        if (depth_ == 0) {
            start_ = at_;
            seeking_ = true;
            held_item_ = false;
        } else {
            seeking_ = false;  // a nested item comes first: this item names no id of its own
        }
        ++depth_;
    }

    void OwnId() {
        const uint8_t* id = at_ + 4;
        // The last "</id>" found serves every id that starts at or before it: no "</id>"
        // lies between the id it was found for and it.
        if (id_end_ != nullptr && id_end_ < id) {
            size_t n = Bytes(id, end_ - id).find("</id>");
            id_end_ = n == std::string_view::npos ? nullptr : id + n;
            ends_out_ = id_end_ == nullptr;
        }
        if (ends_out_) return;
        held_item_ = std::binary_search(held_.begin(), held_.end(), Bytes(id, id_end_ - id));
    }

    void Close() {
        seeking_ = false;
        if (held_item_) kept_.push_back({Position(start_), Position(at_ + 5)});
    }

    int32_t Position(const uint8_t* p) const { return static_cast<int32_t>(p - base_) + 1; }

    const uint8_t* at_;
    const uint8_t* end_;
    const uint8_t* base_;
    const std::vector<std::string_view>& held_;
    int64_t depth_ = 0;
    const uint8_t* start_ = nullptr;
    bool seeking_ = false;
    bool held_item_ = false;
    const uint8_t* id_end_;  // the last "</id>" found; at first the list's start
    bool ends_out_ = false;            // no "</id>" after the last id looked at
    std::vector<ListItem> kept_;
};

}  // namespace

std::vector<ListItem> FindHeldItems(SaveView list, const std::vector<std::string_view>& held) {
    if (list.length <= 0 || held.empty()) return {};
    return ItemWalk(list, held).Run();
}

}  // namespace cleaner
