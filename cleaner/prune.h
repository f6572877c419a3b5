// World-pawn pruning: the save's list of living world pawns rebuilt from the items of the
// faction leaders and of the pawns the save still holds by reference, everything else
// copied as it stands. It reads the index of the save, and short stretches of the save.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cleaner/save_index.h"
#include "cleaner/shrink.h"
#include "cleaner/source.h"
#include "runtime/files.h"

namespace cleaner {

// Why a cleaning writes nothing.
enum class Halt {
    kNone,
    kNoLeaders,  // no faction leader named
    kNoSave,     // no XML at all (its first byte after a byte-order mark and blanks is no "<"): told as kNoLeaders
    kNoList,     // no list of living world pawns
    kLost,       // a leader's entry cannot be delimited (error code 01)
    kUnread,     // the save could not be read
    kCutShort,   // the save ends before its root element does
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
    ExtraKinds extras{};         // by Extra: remove those items that nothing kept names
    bool report = false;         // clean nothing: tell what each run would remove
    bool settings_unread = false;  // the settings file could not be looked for: said after the output

    bool AnyExtra() const { return std::find(extras.begin(), extras.end(), true) != extras.end(); }
};

// Leaders found and held items written in the living list; pawns removed (from the
// mothballed list: -1 where it was not cleaned).
struct PruneCounts {
    int32_t leaders = 0;
    int32_t asleep_leaders = 0;  // leaders found in the mothballed list only
    int32_t held = 0;
    int32_t living_removed = 0;
    int32_t mothballed_removed = -1;
    std::array<ExtraCount, kExtraKinds> extras;  // by Extra
};

// A piece of the output: a stretch of the save, or a constant of the program's.
using Piece = runtime::FilePiece;

struct Pruned {
    Halt halt = Halt::kNone;
    std::vector<Piece> pieces;  // the output, piece after piece; none when halted
    PruneCounts counts;
    std::vector<Notice> notices;
};

// The output: the file with the living list holding the leaders' own items, in the order
// the faction section names them, each once, then, in list order, the first top-level item
// of each id the save holds by reference that is not a leader's. Where the cuts by text
// position take exactly those items, the output is what they give; otherwise each item
// stands on a line of its own. A leader whose item is mothballed counts as found. With
// `options.mothballed` the mothballed list is rebuilt by the same rule, item by item. The
// pawns the list of pawns kept whatever happens names are held, and that list stays. The extra items
// asked for go where nothing left names them.
Pruned PrunePawnList(SaveSource& source, const SaveIndex& index, const CleanOptions& options);

}  // namespace cleaner
