// Sample saves in the game's layout, made up from a seed: the same options give the same
// bytes. Tests, the benchmark and the demo use them; no large save is kept in the project.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

struct SampleOptions {
    uint64_t seed = 1;
    int64_t size = 0;        // about this many bytes (the list of pawns grows to it); 0: no target
    int32_t pawns = 12;      // at least this many world pawns
    int32_t leaders = 3;     // factions led by one of the world pawns
    bool cjk = false;        // Chinese names and items, in UTF-8
    bool crlf = true;        // CR LF line ends, as the game writes them; else LF
    bool far_marker = false; // a leader's id more than 10000 bytes into its entry: error code 01
};

std::string GenerateSave(const SampleOptions& options);

// The id of the i-th world pawn (from 0), as its entry and a leader reference spell it.
std::string PawnId(int32_t i);

}  // namespace tools
