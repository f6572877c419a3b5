// What the walk looks for inside one block of the save, from its marks (stage 1) and its bytes:
// the lowest level its tags reach, the tags of names the rules ask for, the texts that may be
// references, and whether a text after its last tag may be one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "cleaner/stage1/marks.h"
#include "cleaner/texts.h"

namespace cleaner::looks {

// Of the tags that begin "<id" in the block at `p` (`at`, bit by bit), none is an "id"
// element the rules want: each is of another name, or "<id>", a text and "</id>" read
// whole in the buffer (up to `end`), the text one the rules say they do not look for.
// (Anything else is left to the walk's steps block by block, which name them.)
template <class Rules>
[[gnu::noinline]] bool NoWantedIds(const uint8_t* p, Mask at, const uint8_t* end, const Rules& rules) {
    for (; at != 0; at &= at - 1) {
        const uint8_t* q = p + LowestBit(at) + 3;  // after "<id"
        if (*q == '/' || IsMarkupSpace(*q)) return false;
        if (*q != '>') continue;  // "<idle>": another name
        const uint8_t* text = q + 1;
        const auto* lt = static_cast<const uint8_t*>(std::memchr(text, '<', static_cast<size_t>(end - text)));
        if (lt == nullptr || end - lt < 5 || std::memcmp(lt, "</id>", 5) != 0) return false;
        if (rules.MayWantId(std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(lt - text))))
            return false;
    }
    return true;
}

// The block's last tag is an end tag.
inline bool LastIsEnd(const Marks& m) { return m.lt != 0 && ((m.end_tags >> (HighestBit(m.lt))) & 1); }

// Where references are wanted, a text after the block's last tag may be one when that tag
// is a start tag (not empty), and the text does not begin, in the block, otherwise (with a
// tag, or with a byte no reference form begins with).
// The text is read up to `limit` (no further than the next block's end).
inline bool LastStart(const uint8_t* p, const Marks& m, Mask closing, Mask empty_ends, int tail_gt, bool tail_empty,
                      const uint8_t* limit) {
    const int last = HighestBit(m.lt);
    const Mask its_gt = closing & ~marks::Below(last);
    const int g = its_gt != 0 ? LowestBit(its_gt) : kBlockBits + tail_gt;
    bool last_start = !LastIsEnd(m) && (its_gt != 0 ? (empty_ends & its_gt & (~its_gt + 1)) == 0 : !tail_empty);
    if (last_start && p + g + 1 < limit) {
        const uint8_t* q = p + g + 1;
        while (q < limit && IsMarkupSpace(*q)) ++q;
        // A comment, a CDATA section or an instruction may come first: the text goes on
        // after it (or in it), and is read there.
        if (q < limit) last_start = *q == '<' ? marks::IsMarkupAfterLt(q[1]) : MayStartReference(q);
    }
    return last_start;
}

// The lowest level of the elements the block's tags open or end.
inline int LowestLevel(const uint8_t* p, const Marks& m, Mask closing, int tail_gt, int depth) {
    int lowest = depth + 1;
    for (Mask tags = m.lt; tags != 0; tags &= tags - 1) {
        const int i = LowestBit(tags);
        const int g = closing != 0 ? LowestBit(closing) : kBlockBits + tail_gt;
        closing &= closing - 1;
        if ((m.end_tags >> i) & 1) {
            lowest = std::min(lowest, depth--);
        } else if (p[g - 1] != '/') {
            ++depth;
        }
    }
    return lowest;
}

// The start tag at `lt` is of a name the rules ask for wherever it stands. (Its name is
// read to its end or one byte past the longest such name.)
inline bool IsWantedTag(const uint8_t* lt, Ids ids) {
    if (ids == Ids::kNone) return false;
    size_t n = 1;
    while (n < kLongestWanted + 2 && lt[n] != '>' && lt[n] != '/' && !IsMarkupSpace(lt[n])) ++n;
    return IsWanted(std::string_view(reinterpret_cast<const char*>(lt + 1), n - 1), ids);
}

// The first two letters the compares look for after a "<", by set: one of `first`, then one
// of `second` (three each, repeated where fewer); a set whose names' letters do not cross
// well (leader and kidnappedPawns: "<li" is everywhere) takes two nets.
struct Net {
    char first[3], second[3];
};
struct Nets {
    Net one, two;
    bool both;
};
constexpr Nets NetsOf(Ids ids) {
    switch (ids) {
        case Ids::kNone: break;
        case Ids::kId: return {{{'i', 'i', 'i'}, {'d', 'd', 'd'}}, {}, false};
        case Ids::kExtraIds: return {{{'i', 'I', 'l'}, {'d', 'D', 'o'}}, {}, false};
        case Ids::kFactionNames: return {{{'l', 'l', 'l'}, {'e', 'e', 'e'}}, {{'k', 'k', 'k'}, {'i', 'i', 'i'}}, true};
    }
    return {};
}
constexpr bool Catches(const Net& net, std::string_view name) {
    bool first = false, second = false;
    for (int i = 0; i < 3; ++i) first = first || net.first[i] == name[0], second = second || net.second[i] == name[1];
    return first && second;
}
// Every name of a set is caught by that set's nets.
constexpr bool NetsCatchEveryName() {
    for (const Ids ids : {Ids::kId, Ids::kExtraIds, Ids::kFactionNames})
        for (const WantedName& row : kWantedNames)
            if (row.in[static_cast<size_t>(ids)] && !Catches(NetsOf(ids).one, row.name) &&
                !(NetsOf(ids).both && Catches(NetsOf(ids).two, row.name)))
                return false;
    return true;
}
static_assert(NetsCatchEveryName(), "a name asked for that the compares would not find");

// The "<" that may open a tag of a name the rules ask for, by its first two letters.
template <Kernel K, Net N>
inline Mask Caught(const uint8_t* p) {
    return marks::Compares<K>::template TagStarts<N.first[0], N.first[1], N.first[2], N.second[0], N.second[1], N.second[2]>(p);
}
template <Kernel K>
inline Mask NameStarts(const uint8_t* p, Ids ids) {
    switch (ids) {
        case Ids::kNone: return 0;
        case Ids::kId: return Caught<K, NetsOf(Ids::kId).one>(p);
        case Ids::kExtraIds: return Caught<K, NetsOf(Ids::kExtraIds).one>(p);
        case Ids::kFactionNames:
            static_assert(NetsOf(Ids::kFactionNames).both);
            return Caught<K, NetsOf(Ids::kFactionNames).one>(p) | Caught<K, NetsOf(Ids::kFactionNames).two>(p);
    }
    return 0;
}

// Of the tags that begin at `at` (bit by bit) in the block at `p`, one is of a name asked for.
inline bool AnyWanted(const uint8_t* p, Mask at, Ids ids) {
    for (; at != 0; at &= at - 1)
        if (IsWantedTag(p + LowestBit(at), ids)) return true;
    return false;
}

// A text that may be a reference begins in the block: its first byte that is no blank (any
// byte up to " " taken for one) after a ">" of the block's own tags (from `from`) and blanks.
template <Kernel K>
inline bool TextsMayReference(const uint8_t* p, const Marks& m, int from) {
    const Mask blanks = marks::Compares<K>::AtMostSpace(p);
    const Mask after_gt = (m.gt << 1) & ~marks::Below(from);
    const Mask run_ends = blanks + (after_gt & blanks);
    for (Mask starts = ((run_ends & ~blanks) | (after_gt & ~blanks)) & ~m.lt; starts != 0; starts &= starts - 1) {
        const uint8_t* const text = p + LowestBit(starts);
        if (MayBeginReference(*text) && MayStartReference(text)) return true;
    }
    return false;
}

}  // namespace cleaner::looks
