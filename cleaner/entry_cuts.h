// The cuts by text position that take a leader's entry out of the list: back from its id
// marker to the "</li>" before it, then forward through the "</li>" that the scan of
// opening and closing tags takes for the entry's own. They fit the game's Windows layout;
// the pruning checks what they cut before it writes it.
#pragma once

#include <cstdint>

#include "cleaner/save_view.h"

namespace cleaner {

// FindEntryStart's answer when no "</li>" lies in the 10000 positions before a marker that
// stands after position 10000: the entry cannot be delimited (error code 01).
constexpr int32_t kEntryStartLost = 0;

// Position of the "</li>" that ends the item before the marker at `marker` (or the
// substitute 12).
int32_t FindEntryStart(SaveView section, int32_t marker);
// Position of the "</li>" that closes the entry starting at `entry_start`, the substitute
// Slen - 17, or -1.
int32_t FindEntryEnd(SaveView section, int32_t entry_start);

}  // namespace cleaner
