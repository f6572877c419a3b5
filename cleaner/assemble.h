// The output file as pieces of the save, in order, never put together in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "cleaner/save_view.h"

namespace cleaner {

// The bytes of the file from offset `from` up to offset `to` (0-based), replaced by `pieces`.
struct Splice {
    int64_t from;
    int64_t to;
    std::vector<SaveView> pieces;
};

// The pieces of a rewritten list's content: each item behind "\r\n\t\t\t\t\t" (a new line and
// five tabs), then "\r\n\t\t\t\t" before the list's closing tag.
std::vector<SaveView> ListPieces(const std::vector<SaveView>& items);

// The file with each splice made, as the pieces to write in order (none empty); the splices
// stand in file order and do not overlap.
std::vector<SaveView> OutputPieces(SaveView file, const std::vector<Splice>& splices);

}  // namespace cleaner
