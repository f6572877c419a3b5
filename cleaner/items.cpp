// The walk over a list's tags. Only "<" starts anything, so it hops from one to the next.
#include "cleaner/items.h"

#include "cleaner/markers.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cleaner {

namespace {

uint32_t Word(const void* bytes) {
    uint32_t w;
    std::memcpy(&w, bytes, sizeof w);
    return w;
}

SaveView Span(const uint8_t* from, const uint8_t* to) { return {from, static_cast<int32_t>(to - from)}; }

class ItemWalk {
public:
    ItemWalk(SaveView list, MarkerSearch* markers)
        : at_(list.data), end_(list.data + list.length), id_end_(list.data), markers_(markers) {}

    // Every "<id>" tag went to the marker search: no tag stepped over held a "<".
    bool SawEveryTag() const { return saw_every_tag_; }

    std::vector<ListItem> Run() {
        // Tags stand a dozen bytes apart in a list of pawns, so sixteen bytes are looked at
        // at once (every build has SSE2, the 32-bit product included); the last bytes by
        // memchr.
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
        return items_;
    }

private:
    // The tag at `at`; returns where the walk goes on, null when it is over. The first
    // four bytes are compared as one word. Inlined: it runs for every tag of the list.
    [[gnu::always_inline]] const uint8_t* Tag(const uint8_t* at) {
        if (end_ - at < 4) return at + 1;  // too short for any tag that matters
        const uint32_t head = Word(at);
        if (head == Word("<li>")) {
            Open(at);
            return at + 4;
        }
        if (head == Word("</li") && end_ - at >= 5 && at[4] == '>') {
            if (depth_ > 0 && --depth_ == 0) Close(at + 5);
            return at + 5;
        }
        if (head == Word("<li ")) {
            auto close = static_cast<const uint8_t*>(std::memchr(at + 3, '>', static_cast<size_t>(end_ - at - 3)));
            if (close == nullptr) return nullptr;  // a tag that never ends: nothing after it closes an item
            if (close[-1] != '/') Open(at);
            if (markers_ != nullptr && std::memchr(at + 1, '<', static_cast<size_t>(close - at - 1)) != nullptr)
                saw_every_tag_ = false;
            return close + 1;
        }
        if (head == Word("<id>") && (seeking_ || markers_ != nullptr)) {
            const SaveView id = IdAt(at + 4);
            if (seeking_ && id.data != nullptr) item_.own_id = id;
            seeking_ = false;
            if (markers_ != nullptr && id.data != nullptr)
                markers_->Tag(at, std::string_view(reinterpret_cast<const char*>(id.data), static_cast<size_t>(id.length)));
            return at + 4;
        }
        return at + 1;
    }

    void Open(const uint8_t* at) {
        if (depth_++ == 0) {
            item_ = {{at, 0}, {nullptr, 0}};
            seeking_ = true;
        } else {
            seeking_ = false;  // a nested item comes first: no id of the item's own
        }
    }

    // The id from `id` to the first "</id>" after it; null data when there is none (and
    // then none for any later id either).
    SaveView IdAt(const uint8_t* id) {
        // The last "</id>" found serves every id that starts at or before it: no "</id>"
        // lies between the id it was found for and it.
        if (id_end_ != nullptr && id_end_ < id) {
            size_t n = std::string_view(reinterpret_cast<const char*>(id), static_cast<size_t>(end_ - id)).find("</id>");
            id_end_ = n == std::string_view::npos ? nullptr : id + n;
        }
        return id_end_ == nullptr ? SaveView{nullptr, 0} : Span(id, id_end_);
    }

    void Close(const uint8_t* after) {
        seeking_ = false;
        item_.bytes = Span(item_.bytes.data, after);
        items_.push_back(item_);
    }

    const uint8_t* at_;
    const uint8_t* end_;
    const uint8_t* id_end_;  // the last "</id>" found; at first the list's start
    MarkerSearch* markers_;
    bool saw_every_tag_ = true;
    ListItem item_{};
    int64_t depth_ = 0;
    bool seeking_ = false;
    std::vector<ListItem> items_;
};

}  // namespace

bool IsXmlSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<ListItem> TopLevelItems(SaveView list) {
    if (list.length <= 0) return {};
    return ItemWalk(list, nullptr).Run();
}

std::vector<ListItem> TopLevelItems(SaveView list, MarkerSearch& markers, bool* saw_every_tag) {
    *saw_every_tag = true;
    if (list.length <= 0) return {};
    ItemWalk walk(list, &markers);
    std::vector<ListItem> items = walk.Run();
    *saw_every_tag = walk.SawEveryTag();
    return items;
}

std::vector<ListItem> ItemsWithIds(const std::vector<ListItem>& items, const std::vector<std::string_view>& ids) {
    std::vector<ListItem> with;
    std::vector<bool> taken(ids.size(), false);
    for (const ListItem& item : items) {
        if (!item.HasOwnId()) continue;
        const std::string_view id = item.OwnId();
        auto found = std::lower_bound(ids.begin(), ids.end(), id);
        if (found == ids.end() || *found != id || taken[static_cast<size_t>(found - ids.begin())]) continue;
        taken[static_cast<size_t>(found - ids.begin())] = true;
        with.push_back(item);
    }
    return with;
}

ListItem SoleItem(SaveView piece) {
    const uint8_t* from = piece.data;
    const uint8_t* to = piece.data + piece.length;
    while (from < to && IsXmlSpace(*from)) ++from;
    while (to > from && IsXmlSpace(to[-1])) --to;
    std::vector<ListItem> items = TopLevelItems(Span(from, to));
    if (items.size() != 1 || items[0].bytes.data != from || items[0].bytes.data + items[0].bytes.length != to) return {};
    return items[0];
}

}  // namespace cleaner
