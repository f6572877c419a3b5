// What the options remove beside the world pawns: filth, tales, logs and dead world pawns
// that nothing the output keeps names.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cleaner/save_index.h"

namespace cleaner {

// The kinds of extra items asked for, by Extra.
using ExtraKinds = std::array<bool, kExtraKinds>;

// Of one kind: the items removed (-1 where the kind was not asked for) and their bytes, the
// whitespace before each included.
struct ExtraCount {
    int32_t items = -1;
    int64_t bytes = 0;
};

struct Shrunk {
    std::vector<Span> cuts;  // in file order, each an item with the whitespace before it
    std::array<ExtraCount, kExtraKinds> counts;
};

// The extra items of the asked kinds that go: the largest set of them that no reference
// outside what the run removes names (by an id of the item or of a thing inside it). What
// the run removes is `removed`, the stretches the world-pawn rule takes out, and the items
// of that set themselves, so an item named only by removed parts goes too. Found by taking
// every asked item out first and putting back each that what stays names, until none is.
Shrunk Shrink(const SaveIndex& index, const ExtraKinds& kinds, std::vector<Span> removed);

}  // namespace cleaner
