// The lists beside the living world pawns: the mothballed pawns (stored in full, after the
// living ones) and the pawns kept whatever happens (by reference, before them).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "cleaner/prune.h"
#include "cleaner/save_view.h"

namespace cleaner {

// The content of the first "<pawnsMothballed>" after the living list, up to the first
// "</pawnsMothballed>" after it, as file offsets; absent when either tag is missing (so a
// self-closed "<pawnsMothballed />" holds none).
struct MothballedList {
    bool present = false;
    int64_t from = 0, to = 0;  // the content: offsets [from, to)
    SaveView content{nullptr, 0};
};
MothballedList FindMothballed(SaveView file, const PawnSection& living);

// An entry "<li>Thing_" + id + "</li>" of the first "<pawnsForcefullyKeptAsWorldPawns>" list
// before the living list: file offsets from the whitespace before it through its "</li>".
struct KeptForever {
    int64_t from, to;
    std::string_view id;
};
std::vector<KeptForever> FindKeptForever(SaveView file, const PawnSection& living);

}  // namespace cleaner
