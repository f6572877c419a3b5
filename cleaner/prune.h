// World-pawn pruning: the save's list of living world pawns rebuilt from the items of the
// faction leaders and of the pawns the save still holds by reference, everything else
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

    // The opening tag "<pawnsAlive>" as it stands, and a closing tag after it.
    bool Present() const;
    // The bytes between the two tags.
    SaveView Content() const;
};

PawnSection CutPawnSection(SaveView file);

// Why a cleaning writes nothing.
enum class Halt {
    kNone,
    kNoLeaders,  // no faction leader named
    kNoList,     // no list of living world pawns
    kLost,       // a leader's entry cannot be delimited (error code 01)
};

// What the user is told along the way, in the order it is shown.
struct Notice {
    enum class Kind { kShortEntry, kLeadersMissing };
    Kind kind;
    int32_t taken;      // the entry's number; or the leaders obtained
    int32_t total = 0;  // the leaders named (kLeadersMissing)
};

struct CleanOptions {
    bool mothballed = false;     // the mothballed pawns are cleaned like the living ones
    bool count_removed = false;  // count the pawns removed from the living list
};

// Leaders found and held items written in the living list; pawns removed, where counted
// (-1 where not).
struct PruneCounts {
    int32_t leaders = 0;
    int32_t held = 0;
    int32_t living_removed = -1;
    int32_t mothballed_removed = -1;
};

struct Pruned {
    Halt halt = Halt::kNone;
    std::vector<SaveView> pieces;  // the output, piece after piece; none when halted
    PruneCounts counts;
    std::vector<Notice> notices;
};

// The output: the file with the living list holding the leaders' own items, in the order of
// `leader_ids`, each once, then, in list order, the first top-level item of each id in
// `held_ids` (sorted; see CollectHeldIds) that is not a leader's. Where the cuts by text
// position take exactly those items, the output is what they give; otherwise each item
// stands on a line of its own. A leader whose item is mothballed counts as found. With
// `options.mothballed` the mothballed list is rebuilt by the same rule, item by item. The
// entries of removed pawns leave the list of pawns kept whatever happens. The section must
// be Present().
Pruned PrunePawnList(SaveView file, const PawnSection& section, const runtime::DynamicArray* leader_ids,
                     const std::vector<std::string_view>& held_ids, const CleanOptions& options);

}  // namespace cleaner
