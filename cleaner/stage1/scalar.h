// Stage 1's byte compares one byte at a time: the kernel every build has, and the one the
// others are held to.
#pragma once

#include "cleaner/stage1/block.h"
#include "cleaner/texts.h"

namespace cleaner::marks {

// Each kernel's compares of the block at `p`: RawOf; Quotes (the masks of '"', '\'' and,
// where either stands, "="); Blanks (the XML blanks); AtMostSpace (bytes up to " "); and
// TagStarts (a "<" followed by one of A, B, C, then one of D, E, F; read two bytes past the
// block).
struct Scalar {
    template <class F>
    static Mask Each(const uint8_t* p, F is) {
        Mask m = 0;
        for (int i = 0; i < kBlockBits; ++i) m |= static_cast<Mask>(is(p[i])) << i;
        return m;
    }
    static Raw RawOf(const uint8_t* p) {
        const Mask slash = Each(p, [](uint8_t c) { return c == '/'; });
        return Raw{Each(p, [](uint8_t c) { return c == '<'; }), Each(p, [](uint8_t c) { return c == '>'; }), slash,
                   Each(p, [](uint8_t c) { return (c | 0x1E) == 0x3F; }) & ~slash,
                   Each(p, [](uint8_t c) { return (c | 0x05) == 0x27; }) != 0};
    }
    static void Quotes(const uint8_t* p, Mask* dq, Mask* sq, Mask* eq) {
        *dq = Each(p, [](uint8_t c) { return c == '"'; });
        *sq = Each(p, [](uint8_t c) { return c == '\''; });
        *eq = (*dq | *sq) != 0 ? Each(p, [](uint8_t c) { return c == '='; }) : 0;
    }
    static Mask Blanks(const uint8_t* p) { return Each(p, IsMarkupSpace); }
    static Mask AtMostSpace(const uint8_t* p) {
        return Each(p, [](uint8_t c) { return c <= ' '; });
    }
    template <char A, char B, char C, char D, char E, char F>
    static Mask TagStarts(const uint8_t* p) {
        Mask m = 0;
        for (int i = 0; i < kBlockBits; ++i)
            if (p[i] == '<' && (p[i + 1] == A || p[i + 1] == B || p[i + 1] == C) && (p[i + 2] == D || p[i + 2] == E || p[i + 2] == F))
                m |= Mask{1} << i;
        return m;
    }
};

}  // namespace cleaner::marks
