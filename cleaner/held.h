// Pawns the save still holds by reference. A caravan, transport pods, a settlement's pawns
// for sale, a kidnapping faction and the quests list some world pawns only as
// "<li>Thing_Human123</li>"; the pawn itself lives only in the list of living world pawns,
// so its entry must stay there or the game loses the pawn.
#pragma once

#include <string_view>
#include <vector>

#include "cleaner/save_view.h"

namespace cleaner {

// The ids referenced as ">Thing_" + id + "<" inside the world objects (the file's first
// "<worldObjects>" to the first "</worldObjects>" after it), each "<kidnappedPawns>" list of
// the faction section, and the quest manager (likewise). A region whose closing tag is
// missing holds nothing. Sorted, each id once; the views point into the file.
std::vector<std::string_view> CollectHeldIds(SaveView file, SaveView faction_section);

}  // namespace cleaner
