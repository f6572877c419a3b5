// The cleaning run: the picked save is read, its list of living world pawns pruned to the
// faction leaders and the pawns the save holds by reference, and the result written as a
// new save beside it (output.h). Every outcome is a box (boxes.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "cleaner/boxes.h"
#include "cleaner/output.h"
#include "cleaner/prune.h"
#include "cleaner/source.h"
#include "runtime/memory.h"
#include "runtime/value.h"

namespace cleaner {

// The run over the save `source` holds up to the output, read once through and a few short
// stretches again; nothing is shown.
Pruned CleanSource(SaveSource& source, const CleanOptions& options);

// What became of one save.
struct CleanReport {
    bool lost = false;               // error code 01: its box was shown, nothing written
    runtime::OwnedText output;       // the path written, or null
    runtime::OwnedText left_behind;  // a partial output that could not be removed, under the name it was written to
    int64_t input_size = 0, output_size = 0;
    PruneCounts counts;

    bool written() const { return output != nullptr; }
};

// Items and their bytes (with the whitespace before each, for the extra items).
struct Holding {
    int32_t items = 0;
    int64_t bytes = 0;
};

// What a save holds and what each run would remove from it, nothing written.
struct SaveMeasure {
    bool read = false;  // false: the save could not be read (its box was shown)
    int64_t size = 0;
    Halt halt = Halt::kNone;  // why the run without options would write nothing
    Holding living, mothballed;
    std::array<Holding, kExtraKinds> extras;  // by Extra
    // Removed by the run without options, by --mothballed, and by each extra option alone
    // (where the run would write).
    Holding living_removed, mothballed_removed;
    std::array<Holding, kExtraKinds> extras_removed;
    // Removed by --all, and by --all with --mothballed.
    Holding all_removed, everything_removed;
};

// Reads the save at `save_path` once and works out every run over its index.
SaveMeasure MeasureSave(runtime::ConstText save_path);

// Cleans the save at `save_path`, every outcome in a box, and returns after the last box.
// On error code 01 the caller ends the run (the shell ends the process).
CleanReport CleanSave(runtime::ConstText save_path, const CleanOptions& options);

}  // namespace cleaner
