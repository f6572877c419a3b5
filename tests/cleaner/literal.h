// The cleaning steps done the plain way, one step as written at a time: every search from
// where the steps say, the entry start found by stepping back one position at a time, each
// marker searched from the beginning. Slow on purpose; the tests hold the fast cleaner to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace literal {

struct Shown {
    std::string text;
    const char* title;  // null: the default title
};

struct Run {
    bool written = false;  // there is output to write
    std::string output;
    bool lost = false;     // error code 01
    bool endless = false;  // an entry's end scan ran out of passes
    bool whole = false;    // the cuts were not the items the list must hold: each item on a line of its own
    int32_t taken = 0;     // leaders found
    int32_t held = 0;      // held items written
    std::vector<Shown> boxes;
};

// The run over the save's bytes, with its boxes (shown through ShowMessage), up to the
// output. The cuts by text position decide the output where they take exactly the items
// the list must hold: each leader's first own item once, then the held items, whitespace
// between; elsewhere those items are written each behind a line break of its own. A scan
// for an entry's end that takes more than `pass_budget` passes (class-item steps included)
// is taken through the end of the list, R = Slen - 17, and marked endless.
// A leader whose item is a top-level item of the mothballed list counts as found; with
// `mothballed` that list is rebuilt item by item by the same rule. The pawns of the list of
// pawns kept whatever happens are held.
Run Clean(runtime::ConstByteSet file, bool mothballed = false, int64_t pass_budget = 100000);

}  // namespace literal
