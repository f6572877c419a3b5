// Where each pawn's id marker "<id>" + id + "</id>" first stands in the list.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "cleaner/save_view.h"

namespace cleaner {

// The search for the first marker of each of some ids, fed one "<id>" tag at a time.
class MarkerSearch {
public:
    // Ids with "</id>" inside them are looked for in `list` at once, as they stand.
    MarkerSearch(SaveView list, const std::vector<std::string_view>& ids);

    // The tag "<id>" at `at` in the list, its id running to the first "</id>" after it.
    void Tag(const uint8_t* at, std::string_view id);
    bool Done() const { return unmarked_ == 0; }
    // For each id, the position of its first marker, or -1.
    const std::vector<int32_t>& Found() const { return found_; }

private:
    const uint8_t* list_;
    std::vector<std::pair<std::string_view, size_t>> wanted_;  // sorted: id, index
    std::vector<int32_t> found_;
    size_t unmarked_;
};

// For each of `ids`, the position of its first marker in `list`, or -1. One pass over the
// list's "<id>" tags serves them all.
std::vector<int32_t> FindMarkers(SaveView list, const std::vector<std::string_view>& ids);

}  // namespace cleaner
