// The cleaning run: the picked save is read, its list of living world pawns pruned to the
// faction leaders and the pawns the save holds by reference, and the result written as a
// new save beside it. Every outcome is a box.
#pragma once

#include <cstdint>

#include "cleaner/prune.h"
#include "cleaner/source.h"
#include "runtime/memory.h"
#include "runtime/value.h"

namespace cleaner {

// The run over the save `source` holds up to the output, read once through and a few short
// stretches again; nothing is shown.
Pruned CleanSource(SaveSource& source, const CleanOptions& options);

// Every box of that run up to the write, in order: the notices, then why nothing is
// written, if so.
void ShowOutcome(const Pruned& pruned);

// The first free name beside the input: the name's ".rws" (any case) replaced by "-A.rws",
// or "-A.rws" appended to a name without it, one more "-A" while the name is taken. The
// folder part is kept as it is; given an output name, it gives the next one.
runtime::OwnedText BuildOutputPath(runtime::ConstText input_path);

// What became of one save.
struct CleanReport {
    bool lost = false;               // error code 01: its box was shown, nothing written
    runtime::OwnedText output;       // the path written, or null
    runtime::OwnedText left_behind;  // a partial output that could not be removed, under the name it was written to
    int64_t input_size = 0, output_size = 0;
    PruneCounts counts;

    bool written() const { return output != nullptr; }
};

// Cleans the save at `save_path`, every outcome in a box, and returns after the last box.
// On error code 01 the caller ends the run (the shell ends the process).
CleanReport CleanSave(runtime::ConstText save_path, const CleanOptions& options);

}  // namespace cleaner
