// The output file as pieces of the save, in order, never put together in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "cleaner/prune.h"

namespace cleaner {

// The bytes of the file from offset `from` up to offset `to` (0-based), replaced by `pieces`.
struct Splice {
    int64_t from;
    int64_t to;
    std::vector<Piece> pieces;
};

// The stretch [from, to) of the save.
inline Piece Stretch(int64_t from, int64_t to) { return {from, to - from, nullptr}; }

// The pieces of a rewritten list's content: each item behind "\r\n\t\t\t\t\t" (a new line and
// five tabs), then "\r\n\t\t\t\t" before the list's closing tag.
std::vector<Piece> ListPieces(const std::vector<Piece>& items);

// The file of `size` bytes with each splice made, as the pieces to write in order (none
// empty) into `*pieces`. False, with no pieces, where the splices do not stand in file order
// inside the file, each after the one before: an output made of them would not be the save.
bool OutputPieces(int64_t size, const std::vector<Splice>& splices, std::vector<Piece>* pieces);

}  // namespace cleaner
