// The items of the list of living world pawns, as the game reads them: "<li>" and "<li "
// open an item unless the tag ends in "/>", "</li>" closes one. An item at depth 0 is a
// world pawn; everything the cleaner writes into the list is such an item, whole.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "cleaner/save_view.h"

namespace cleaner {

struct ListItem {
    SaveView bytes;   // from its "<li" through its "</li>"
    SaveView own_id;  // its first "<id>...</id>" before any nested item; data is null when none

    bool HasOwnId() const { return own_id.data != nullptr; }
    std::string_view OwnId() const {
        return {reinterpret_cast<const char*>(own_id.data), static_cast<size_t>(own_id.length)};
    }
    bool HasId(std::string_view id) const { return HasOwnId() && OwnId() == id; }
    bool Overlaps(const ListItem& other) const {
        return bytes.data < other.bytes.data + other.bytes.length && other.bytes.data < bytes.data + bytes.length;
    }
};

// The top-level items of `list`, in order. A "</li>" at depth 0 is passed over; an item the
// list does not close is not one; an opening tag that never ends stops the walk.
std::vector<ListItem> TopLevelItems(SaveView list);

class MarkerSearch;
// The same, feeding every "<id>" tag of the list to `markers` on the way, unless a tag the
// walk steps over (a "<li ...>" tag) holds a "<": then `*saw_every_tag` is false.
std::vector<ListItem> TopLevelItems(SaveView list, MarkerSearch& markers, bool* saw_every_tag);

// Of `items`, the first whose own id is each of `ids` (sorted, each once), in order.
std::vector<ListItem> ItemsWithIds(const std::vector<ListItem>& items, const std::vector<std::string_view>& ids);

// `piece` is whitespace, then one whole item, then whitespace; the item, or null bytes when
// it is not.
ListItem SoleItem(SaveView piece);

bool IsXmlSpace(uint8_t c);

}  // namespace cleaner
