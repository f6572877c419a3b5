// The cleaning run: the picked save is read, its list of living world pawns pruned to the
// faction leaders and the pawns the save holds by reference, and the result written as a
// new save beside it. Every outcome is a box.
#pragma once

#include "runtime/value.h"

namespace cleaner {

// The run over the save's bytes, with its boxes, up to the output: the output bytes, or
// null when there is nothing to write (its box has been shown). Sets `*lost`, with no box
// of its own, when a leader's entry cannot be delimited (error code 01).
runtime::ByteSet CleanBytes(runtime::ConstByteSet file, bool* lost);

// The first free name beside the input: the name's ".rws" (any case) replaced by "-A.rws",
// or "-A.rws" appended to a name without it, one more "-A" while the name is taken. The
// folder part is kept as it is; given an output name, it gives the next one.
runtime::Text BuildOutputPath(runtime::ConstText input_path);

// Cleans the save at `save_path` (the shell's chosen path). Returns after the last box,
// true when the cleaned save was written; error code 01 ends the process.
bool CleanSave(runtime::ConstText save_path);

}  // namespace cleaner
