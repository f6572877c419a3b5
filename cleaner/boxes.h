// The boxes of a cleaning run: their texts, and the calls that show them.
#pragma once

#include <cstdint>
#include <string>

#include "cleaner/prune.h"
#include "runtime/files.h"
#include "runtime/memory.h"
#include "runtime/value.h"

namespace cleaner {

// The text of the box that says why the run over the save at `save_path` writes nothing
// (null for Halt::kNone).
runtime::OwnedText HaltText(Halt halt, runtime::ConstText save_path);

// Every box of that run up to the write, in order: the notices, then why nothing is
// written, if so.
void ShowOutcome(const Pruned& pruned, runtime::ConstText save_path);

// "104.9 MB", or "37.2 KB" under a megabyte.
std::string SizeText(int64_t bytes);

// The save could not be opened or read (whole, or unchanged).
void ShowReadFailure(runtime::ConstText save_path, runtime::ReadFailure failure);
// The output at `path` could not be written: why, from the system's code.
void ShowWriteFailure(runtime::ConstText path, uint32_t error);
// The output is written at `path`; `changed` is the box's second line (Changed).
void ShowSuccess(runtime::ConstText path, runtime::ConstText changed);
// The success box's second line: the sizes before and after, and the world pawns removed.
std::string Changed(int64_t before, int64_t after, const PruneCounts& counts);
// After a written output: what each option that removes extra items removed, in items and
// MB (the whitespace before each item counted with it); that the settings were not read,
// where they could not be.
void ShowExtrasRemoved(const PruneCounts& counts, bool settings_unread);

}  // namespace cleaner
