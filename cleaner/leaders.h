// Which pawns lead a faction: the ids of the "<leader>Thing_" references in the save's
// faction section, in order. Equal ids are listed once per reference.
#pragma once

#include "cleaner/save_view.h"
#include "runtime/array.h"
#include "runtime/value.h"

namespace cleaner {

// From the first "<factionManager>" through the end of the first "</factionManager>", as
// text. An absent tag takes part in the arithmetic as -1.
SaveView FactionSection(SaveView file);

// Empties `leader_ids` (an array of Text) and fills it from the faction section.
void CollectLeaderIds(SaveView faction_section, runtime::ArrayCell leader_ids);

}  // namespace cleaner
