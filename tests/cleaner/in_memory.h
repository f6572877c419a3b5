// The cleaning of a save held in memory, and its output put together.
#pragma once

#include <string>
#include <vector>

#include "cleaner/clean.h"

namespace inmemory {

inline cleaner::Pruned Clean(const std::string& save, const cleaner::CleanOptions& options = {}, size_t chunk = 256 << 10) {
    cleaner::MemorySource source({reinterpret_cast<const uint8_t*>(save.data()), save.size()}, chunk);
    return cleaner::CleanSource(source, options);
}

inline std::string Joined(const std::string& save, const std::vector<cleaner::Piece>& pieces) {
    std::string out;
    for (const cleaner::Piece& piece : pieces) {
        if (piece.bytes != nullptr) out.append(reinterpret_cast<const char*>(piece.bytes), static_cast<size_t>(piece.length));
        else out.append(save, static_cast<size_t>(piece.offset), static_cast<size_t>(piece.length));
    }
    return out;
}

}  // namespace inmemory
