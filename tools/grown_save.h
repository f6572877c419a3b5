// A real save grown to a given size: its living world pawns repeated, as a late game gathers
// them, for the bench.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

// `save` with copies of the items of its living world pawns ("pawnsAlive") appended to that
// list, in turn, until it holds at least `size` bytes. Each copy's "id" texts are given new
// numbers (the letters before the number kept), so every id stays one thing's; references
// inside a copy still name what they named. Empty where the save has no such list.
std::string GrownSave(const std::string& save, int64_t size);

}  // namespace tools
