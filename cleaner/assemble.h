// The output file, put together once from pieces of the save.
#pragma once

#include <cstdint>
#include <vector>

#include "cleaner/save_view.h"
#include "runtime/memory.h"

namespace cleaner {

// The file's first `head_length` bytes, each piece behind "\r\n\t\t\t\t\t" (a new line and
// five tabs), then "\r\n\t\t\t\t" and the file from position `tail_from` on.
runtime::OwnedBytes AssembleOutput(SaveView file, int64_t head_length, const std::vector<SaveView>& pieces,
                                   int64_t tail_from);

}  // namespace cleaner
