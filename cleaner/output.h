// The output file: its name beside the save, and its writing, whole or not at all.
#pragma once

#include <vector>

#include "cleaner/prune.h"
#include "runtime/files.h"
#include "runtime/memory.h"
#include "runtime/value.h"

namespace cleaner {

// The first free name beside the input: the name's ".rws" (any case) replaced by "-A.rws",
// or "-A.rws" appended to a name without it, one more "-A" while the name is taken. The
// folder part is kept as it is; given an output name, it gives the next one.
runtime::OwnedText BuildOutputPath(runtime::ConstText input_path);

// Writes the output under the first free "-A" name, never through a name that exists, and
// so that no file ever bears a save's name before it is whole and on the disk: the pieces go
// to the temporary name, created exclusively, and the file takes its name only once it is
// written, flushed and closed, by a move that replaces nothing. A name found taken at the
// create or at the move gives way to the next one. Where the file system can give no new
// name that way, the output is written under its own name, created exclusively. The pieces
// are the save's own bytes where they lie: a save changed under them before the output has
// its name gets the read-failure box, and nothing is left. Otherwise shows the success or
// the write-failure box; returns the path written, or null. A partial file that could not be
// removed again is left under the name it was written to, in `*left_behind`.
// `changed` is the success box's second line.
runtime::OwnedText WriteOutput(runtime::ConstText save_path, runtime::SaveFile& save, const std::vector<Piece>& pieces,
                               runtime::ConstText changed, runtime::OwnedText* left_behind);

}  // namespace cleaner
