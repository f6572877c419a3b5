// A piece of the save's bytes, seen in place: never copied to be searched.
//
// The save is UTF-8, so the cleaner searches it byte for byte (a tag right after a
// multi-byte character is still found), with the rules of the runtime's searches: positions
// are 1-based, -1 means absent, and a start of 0 or below searches from position 1.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/value.h"

namespace cleaner {

struct SaveView {
    const uint8_t* data;
    int32_t length;

    // The view of a whole byte set (null or empty gives an empty view).
    static SaveView Of(runtime::ConstByteSet bytes);

    // First position at or after `start` where `sought` begins, or -1.
    template <size_t N>
    int32_t Find(const char (&sought)[N], int64_t start = 1) const {
        return Find(reinterpret_cast<const uint8_t*>(sought), static_cast<int32_t>(N - 1), start);
    }
    int32_t Find(const uint8_t* sought, int32_t m, int64_t start) const;

    // The cut MidBytes would make (a start of 0 or less counts as 1), in place. Positions
    // are worked out in 64 bits, so sums of absent positions and lengths cannot wrap.
    SaveView MidBytes(int64_t start, int64_t count) const;
    // The cut MidText would make (a start of 0 or less gives nothing), in place.
    SaveView MidText(int64_t start, int64_t count) const;
    // Up to the first NUL byte: the text ToText would read from these bytes.
    SaveView AsText() const;

    std::span<const uint8_t> Bytes() const { return {data, static_cast<size_t>(length)}; }
};

}  // namespace cleaner
