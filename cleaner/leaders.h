// Which pawns lead a faction: the ids of the "<leader>Thing_" references in the save's
// faction section, in order. Equal ids are listed once per reference.
#pragma once

#include "runtime/array.h"
#include "runtime/value.h"

namespace cleaner {

// Empties `leader_ids` (an array of Text) and fills it from the save's bytes.
void CollectLeaderIds(runtime::ConstByteSet file, runtime::ArrayCell leader_ids);

}  // namespace cleaner
