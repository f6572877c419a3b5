// Where each pawn's id marker "<id>" + id + "</id>" first stands in the list.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "cleaner/save_view.h"

namespace cleaner {

// For each of `ids`, the position of its first marker in `list`, or -1. One pass over the
// list's "<id>" tags serves them all.
std::vector<int32_t> FindMarkers(SaveView list, const std::vector<std::string_view>& ids);

}  // namespace cleaner
