// Held references and the list items they keep, found with exact byte searches.
#include "cleaner/held.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

uint32_t Word(const void* bytes) {
    uint32_t w;
    std::memcpy(&w, bytes, sizeof w);
    return w;
}

// The walk over the list's tags. Only "<" starts anything, so it hops from one to the next.
class ItemWalk {
public:
    ItemWalk(SaveView list, const std::vector<std::string_view>& held)
        : at_(list.data), begin_(list.data), end_(list.data + list.length), held_(held), id_end_(list.data) {}

    std::vector<ListItem> Run() {
        // Tags stand a dozen bytes apart in a list of pawns, so sixteen bytes are looked at
        // at once where the processor can; elsewhere, and for the last bytes, memchr.
#if defined(__SSE2__)
        const __m128i lt = _mm_set1_epi8('<');
        while (at_ != nullptr && end_ - at_ >= 16 + 5) {
            const uint8_t* block = at_;
            auto mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), lt)));
            at_ = block + 16;
            const uint8_t* next = block;  // where the walk goes on after the tags seen so far
            for (; mask != 0 && next != nullptr; mask &= mask - 1) {
                const uint8_t* tag = block + __builtin_ctz(mask);
                if (tag >= next) next = Tag(tag);
            }
            if (next == nullptr || next > at_) at_ = next;
        }
#endif
        while (at_ != nullptr && at_ < end_) {
            at_ = static_cast<const uint8_t*>(std::memchr(at_, '<', static_cast<size_t>(end_ - at_)));
            if (at_ != nullptr) at_ = Tag(at_);
        }
        return kept_;
    }

private:
    // The tag at `at`; returns where the walk goes on, null when it is over. The first
    // four bytes are compared as one word.
    const uint8_t* Tag(const uint8_t* at) {
        if (end_ - at < 4) return at + 1;  // too short for any tag that matters
        const uint32_t head = Word(at);
        if (head == Word("<li>")) {
            if (depth_++ == 0) Begin(at);
            else seeking_ = false;  // a nested item comes first: no id of the item's own
            return at + 4;
        }
        if (head == Word("</li") && end_ - at >= 5 && at[4] == '>') {
            if (depth_ > 0 && --depth_ == 0) End(at + 5);
            return at + 5;
        }
        if (head == Word("<li ")) {
            auto close = static_cast<const uint8_t*>(std::memchr(at + 3, '>', static_cast<size_t>(end_ - at - 3)));
            if (close == nullptr) return nullptr;  // a tag that never ends: nothing after it closes an item
            if (close[-1] != '/') {
                if (depth_++ == 0) Begin(at);
                else seeking_ = false;
            }
            return close + 1;
        }
        if (seeking_ && head == Word("<id>")) {
            seeking_ = false;
            OwnId(at + 4);
            return at + 4;
        }
        return at + 1;
    }

    void Begin(const uint8_t* at) {
        start_ = at;
        seeking_ = true;
        held_item_ = false;
    }

    void OwnId(const uint8_t* id) {
        // The last "</id>" found serves every id that starts at or before it: no "</id>"
        // lies between the id it was found for and it.
        if (id_end_ != nullptr && id_end_ < id) {
            size_t n = Bytes(id, end_ - id).find("</id>");
            id_end_ = n == std::string_view::npos ? nullptr : id + n;
        }
        if (id_end_ == nullptr) return;  // no "</id>" after this one: no id from here on
        held_item_ = std::binary_search(held_.begin(), held_.end(), Bytes(id, id_end_ - id));
    }

    void End(const uint8_t* after) {
        seeking_ = false;
        if (held_item_) kept_.push_back({Position(start_), Position(after)});
    }

    int32_t Position(const uint8_t* p) const { return static_cast<int32_t>(p - begin_) + 1; }

    const uint8_t* at_;
    const uint8_t* begin_;
    const uint8_t* end_;
    const std::vector<std::string_view>& held_;
    const uint8_t* id_end_;  // the last "</id>" found; at first the list's start
    const uint8_t* start_ = nullptr;
    int64_t depth_ = 0;
    bool seeking_ = false;
    bool held_item_ = false;
    std::vector<ListItem> kept_;
};

}  // namespace

std::vector<ListItem> FindHeldItems(SaveView list, const std::vector<std::string_view>& held) {
    if (list.length <= 0 || held.empty()) return {};
    return ItemWalk(list, held).Run();
}

}  // namespace cleaner
