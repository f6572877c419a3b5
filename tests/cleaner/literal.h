// The cleaning steps done the plain way, one step as written at a time: every search from
// where the steps say, the entry start found by stepping back one position at a time, each
// marker searched from the beginning. Slow on purpose; the tests hold the fast cleaner to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace literal {

struct Run {
    bool written = false;        // there is output to write
    std::string output;
    bool lost = false;           // error code 01
    bool endless = false;        // an entry's end scan ran out of passes
    std::vector<std::string> pieces;  // the leaders' entries taken, as cut from the list
    std::vector<std::string> held;    // the held items kept, likewise
};

// The run over the save's bytes, with its boxes (shown through ShowMessage), up to the
// output. A scan for an entry's end that takes more than `pass_budget` passes (class-item
// steps included) is taken through the end of the list, R = Slen - 17, and marked endless.
Run Clean(runtime::ConstByteSet file, int64_t pass_budget = 100000);

}  // namespace literal
