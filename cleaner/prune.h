// World-pawn pruning: the save's list of living world pawns rebuilt from the entries of
// the faction leaders and of the pawns the save still holds by reference, everything else
// copied as it stands.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "cleaner/save_view.h"
#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/value.h"

namespace cleaner {

// The list of living world pawns: from the first "<pawnsAlive" of the file through the end
// of the first "</pawnsAlive>", seen in place.
struct PawnSection {
    int32_t a;       // file position of "<pawnsAlive", or -1
    int32_t z;       // file position of "</pawnsAlive", or -1
    SaveView bytes;  // the section's bytes
    SaveView text;   // the same up to the first NUL byte; its length is Slen

    // Both tags found, the closing one after the opening one.
    bool Present() const { return a > 0 && z > a; }
};

PawnSection CutPawnSection(runtime::ConstByteSet file);

// FindEntryStart's answer when no "</li>" lies in the 10000 positions before a marker that
// stands after position 10000: the entry cannot be delimited (error code 01).
constexpr int32_t kEntryStartLost = 0;

// Position of the "</li>" that ends the item before the marker at `p` (or the substitute 12).
int32_t FindEntryStart(SaveView section, int32_t p);
// Position of the "</li>" that closes the entry starting at `e0`, the substitute Slen - 17,
// or -1.
int32_t FindEntryEnd(SaveView section, int32_t e0);

// What a pruning took: leaders' entries and held items written.
struct PruneCounts {
    int32_t leaders = 0;
    int32_t held = 0;
};

// The output bytes: the file with its list of living world pawns holding the leaders'
// entries, in the order of `leader_ids`, then each top-level item whose own id is in
// `held_ids` (sorted; see CollectHeldIds) and not a leader's, in list order, unless a
// leader's entry already covers part of it. Shows the short-entry and leaders-missing boxes
// on the way (they count leaders only). Null, with `*lost` set, when a leader's entry cannot
// be delimited; nothing more is shown then. The section must be Present().
runtime::OwnedBytes PrunePawnList(runtime::ConstByteSet file, const PawnSection& section,
                               const runtime::DynamicArray* leader_ids,
                               const std::vector<std::string_view>& held_ids, bool* lost,
                               PruneCounts* counts = nullptr);

}  // namespace cleaner
