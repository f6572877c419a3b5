// Stage 2: the walk over the save's blocks (of 64 bytes, or 32: stage1/block.h). A plain block
// (stage 1) is read from its masks: a "<" followed by "/" is an end tag, a ">" preceded by
// "/" ends an empty-element tag, every other "<" opens a start tag. Where no tag of the block
// stands at a level the rules look at, nor a start tag of a name they ask for, nor a text that
// may be a reference where they want those, the block is passed over by its counts alone;
// otherwise its tags are taken bit by bit and named only where the rules look. Every other block goes through the
// byte tokenizer, from the block's first tag until it stands in text again at or past the
// block's end; stage 1 goes on from there. Both give the rules the same events (events.h).
//
// A block is read with its next bytes in the buffer beside it (kLookAhead), so that the tag
// it ends inside of is read in place: a block is walked only where that tag ends in the next
// block.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "cleaner/block_looks.h"
#include "cleaner/events.h"
#include "cleaner/stage1/marks.h"
#include "cleaner/tokenizer.h"

namespace cleaner {

template <IndexRules Rules>
class Walk {
public:
    static constexpr size_t kBlock = kBlockBits;
    static constexpr size_t kLookAhead = 192;  // what a block's reading may look at past its start

    explicit Walk(Rules& rules)
        : rules_(rules), events_(rules), tokenizer_(events_), kernel_(ActiveKernel()) {}

    // `data[0, n)` is the save from file offset `at`, its first bytes those kept from the call
    // before. Returns how many of its last bytes must come again at the front of the next
    // call: none when `last` (the save ends there).
    size_t Feed(const uint8_t* data, size_t n, int64_t at, bool last) {
        const uint8_t* p = data + (pos_ - at);
        const uint8_t* const end = data + n;
        end_ = end;
        for (;;) {
            if (bytes_) {
                const size_t read = tokenizer_.Feed(p, static_cast<size_t>(end - p), stop_);
                p += read;
                pos_ += static_cast<int64_t>(read);
                if (p == end) return 0;
                bytes_ = false;  // in text, at a "<": stage 1 goes on from here
                carry_ = {};
                have_next_ = false;
                continue;
            }
            if (static_cast<size_t>(end - p) < kLookAhead) {
                // What is left, and the block before it: a block that begins inside a tag is
                // read with the block before it (the tag's name may begin there).
                if (!last) return static_cast<size_t>(end - std::max(data, p - kBlock));
                // The save's last bytes, after the tail of a tag the last block read already.
                if (carry_.in_tag()) {
                    const uint8_t* gt = static_cast<const uint8_t*>(std::memchr(p, '>', static_cast<size_t>(end - p))) + 1;
                    pos_ += gt - p;
                    p = gt;
                    carry_ = {};
                }
                BytePath(INT64_MAX);
                continue;
            }
            if (Skimmable()) {
                p = Skim(p);
                if (static_cast<size_t>(end - p) < kLookAhead) continue;
            }
            p = Block(p);
        }
    }

    const Tokenizer<Events<Rules>>& tokenizer() const { return tokenizer_; }
    // How many times the byte path was taken: a block that was not plain, and the save's end.
    size_t byte_paths() const { return byte_paths_; }

private:
    // The byte path from where the walk stands (in text), to the first "<" at or after `stop`.
    void BytePath(int64_t stop) {
        ++byte_paths_;
        tokenizer_.Resume(pos_, events_.WantsText());
        bytes_ = true;
        stop_ = stop;
    }

    int64_t At(const uint8_t* p, const uint8_t* block) const { return pos_ + (p - block); }

    // Where no text is open, the blocks the rules want nothing of but their counts are passed
    // over in a loop of their own: the blocks Block would pass over, the same way. The first
    // it would not is left to it.
    bool Skimmable() const {
        return !events_.TextOpen();
    }
    const uint8_t* Skim(const uint8_t* p) {
        return WithKernel(kernel_, [&]<Kernel K>() { return SkimAs<K>(p); });
    }

    // Each block's masks are taken once, with the first byte of the next block's. A block
    // that ends inside a tag is passed over only where the next is read too, which tells
    // whether that tag ends plain; where it does not, the block goes back to Block.
    //
    // The depth runs here with an empty-element tag's end counted at its ">" (`depth`, of the
    // block at `p`); the events count it at its "<", so the two differ by the tag the block
    // before ended inside of (`head_empty`), where that is one.
    template <Kernel K>
    const uint8_t* SkimAs(const uint8_t* p) {
        const uint8_t* const from_p = p;
        const int named = rules_.NamedLevel();
        const Ids ids = rules_.WantsIds();
        const bool references = rules_.WantsReferences();
        bool last_start = false;
        Carry carry = carry_, back_carry;
        int depth = 0, back_depth = 0, head_empty = 0, back_head_empty = 0;
        marks::Raw raw = marks::Compares<K>::RawOf(p);
        for (;;) {
            const marks::Raw next = marks::Compares<K>::RawOf(p + kBlock);
            Marks m;
            Carry out = carry;
            const Mask faults = Stage1<K>(p, raw, NextOf(next), m, &out);
            // The bytes before its first ">" are the tail of the tag the block before ended in.
            const int from = carry.in_tag() ? (m.gt != 0 ? LowestBit(m.gt) + 1 : kBlockBits) : 0;
            const int empty = from > 0 ? static_cast<int>((m.empty_closers >> (from - 1)) & 1) : 0;
            if (p == from_p) {
                depth = events_.depth() + empty;
            } else if (from == kBlockBits || (faults & marks::Below(from)) != 0) {
                // The block before ends inside a tag that does not end plain here.
                p -= kBlock;
                depth = back_depth, carry = back_carry, head_empty = back_head_empty;
                break;
            }
            head_empty = empty;
            if (faults != 0 || (out.in_tag() && (next.gt == 0 || static_cast<size_t>(end_ - p) < kLookAhead + kBlock))) break;
            const int level = depth - empty;  // as the events count it
            if (m.lt != 0) {
                const int tail_gt = out.in_tag() ? LowestBit(next.gt) : -1;
                const Mask closing = m.gt & ~marks::Below(from);  // the ">" of the block's own tags
                // Each end tag but those of elements opened in the block takes the depth one lower.
                if (level - marks::Count<K>(m.end_tags & ~m.paired_ends) < named &&
                    looks::LowestLevel(p, m, closing, tail_gt, level) <= named)
                    break;
                if (ids != Ids::kNone) {
                    // An "id" the rules do not look for may be passed over; any other name asked for not.
                    const Mask at = looks::NameStarts<K>(p, ids);
                    if (at != 0 &&
                        (ids == Ids::kId ? !looks::NoWantedIds(p, at, end_, rules_) : looks::AnyWanted(p, at, ids)))
                        break;
                }
                if (references) {
                    if (looks::TextsMayReference<K>(p, m, from)) break;
                    const bool tail_empty =
                        tail_gt == 0 ? (m.slash >> kTopBit) != 0 : tail_gt > 0 && ((next.slash >> (tail_gt - 1)) & 1) != 0;
                    last_start = looks::LastStart(p, m, closing, m.empty_closers & closing, tail_gt, tail_empty, p + 2 * kBlock);
                    // The text after it runs on into the next block, and the block's tail is
                    // not yet known to be plain there.
                    if (last_start && out.in_tag()) break;
                }
            }
            back_depth = depth, back_carry = carry, back_head_empty = empty;
            depth += Deeper<K>(m);
            carry = out;
            raw = next;
            p += kBlock;
            head_empty = 0;  // where the block before ends in a tag, the next turn reads this one
            if (last_start || static_cast<size_t>(end_ - p) < kLookAhead) break;
        }
        if (p != from_p) {
            events_.Passed(depth - head_empty - events_.depth(), last_start);
            pos_ += p - from_p;
            carry_ = carry;
        }
        have_next_ = false;
        return p;
    }

    // One block from `p`, which stands in text or in the tag the block before ended inside of
    // (read there already); returns where the next begins.
    const uint8_t* Block(const uint8_t* p) {
        Mask faults;
        Carry carry = carry_;
        if (have_next_) {
            current_ ^= 1;  // the next block's marks, read with the block before
            faults = next_faults_, carry = next_carry_;
        } else {
            faults = MarkedFaults(kernel_, p, marks_[current_], &carry);
        }
        Marks& m = marks_[current_];
        // Where the block ends inside a tag, that tag must end, plain, in the next block.
        have_next_ = carry.in_tag();
        int tail_gt = -1;  // in the next block
        if (have_next_) {
            Marks& next = marks_[current_ ^ 1];
            next_carry_ = carry;
            next_faults_ = MarkedFaults(kernel_, p + kBlock, next, &next_carry_);
            tail_gt = next.gt != 0 ? LowestBit(next.gt) : -1;
        }
        // The bytes before its first ">" are the tail of the tag the block before ended in.
        const int from = carry_.in_tag() ? (m.gt != 0 ? LowestBit(m.gt) + 1 : kBlockBits) : 0;
        const bool plain = faults == 0 && (tail_gt < 0 ? !have_next_ : (next_faults_ & marks::Below(tail_gt + 1)) == 0);
        if (!plain) {
            // The byte path from the block's first tag: the text before it is read there too.
            have_next_ = false;
            const int64_t end = pos_ + static_cast<int64_t>(kBlock);
            pos_ += from;
            BytePath(end);
            return p + from;
        }
        const Mask closing = m.gt & ~marks::Below(from);  // the ">" of the block's own tags
        // A text the last tag of the block before left open runs to the block's first "<".
        if (events_.TextOpen()) Deliver(p + from, p + (m.lt != 0 ? LowestBit(m.lt) : kBlockBits), p);
        if (m.lt != 0) {
            // Tags at levels the rules look at: none where even every end tag first (but those
            // of elements the block opens itself) would not reach them, else taken from the
            // tags in their order.
            const int named = rules_.NamedLevel();
            const bool below = events_.depth() - marks::Count<Kernel::kScalar>(m.end_tags & ~m.paired_ends) >= named ||
                               looks::LowestLevel(p, m, closing, tail_gt, events_.depth()) > named;
            const bool pass = below && !events_.Pending() && !IdsIn(p, m) && !ReferencesIn(p, m, from);
            if (pass) Pass(p, m, closing, tail_gt, from);
            else Tags(p, m, closing, tail_gt);
        }
        carry_ = carry;
        pos_ += static_cast<int64_t>(kBlock);
        return p + kBlock;
    }

    // The tags of the block by their counts: the depth they leave.
    void Pass(const uint8_t* p, const Marks& m, Mask closing, int tail_gt, int from) {
        // The block's count takes an empty-element tag at its ">"; the events, at its "<": not
        // the one that ends the tag the block before began, and the one of its own last tag
        // (ended in the next block).
        const Mask empty_ends = m.empty_closers & closing;
        const bool tail_empty = tail_gt >= 0 && ((marks_[current_ ^ 1].empty_closers >> tail_gt) & 1);
        const int before = from > 0 ? static_cast<int>((m.empty_closers >> (from - 1)) & 1) : 0;
        const bool last_start =
            rules_.WantsReferences() && looks::LastStart(p, m, closing, empty_ends, tail_gt, tail_empty, p + kBlock);
        events_.Passed(m.deeper + before - (tail_empty ? 1 : 0), last_start);
    }

    // The tags of the block one by one.
    void Tags(const uint8_t* p, const Marks& m, Mask closing, int tail_gt) {
        for (Mask tags = m.lt; tags != 0; tags &= tags - 1) {
            const int i = LowestBit(tags);
            const int g = closing != 0 ? LowestBit(closing) : static_cast<int>(kBlock) + tail_gt;
            closing &= closing - 1;
            const uint8_t* lt = p + i;
            const uint8_t* gt = p + g;
            const Tag::Kind kind = (m.end_tags >> i) & 1 ? Tag::kEnd : gt[-1] == '/' ? Tag::kEmpty : Tag::kStart;
            events_.Before(kind);
            const int level = events_.Level(kind);
            const bool named = level <= rules_.NamedLevel() || (kind != Tag::kEnd && looks::IsWantedTag(lt, rules_.WantsIds()));
            if (named) rules_.Tag(Read(lt, gt, kind, p), level);
            events_.After(kind, named);
            if (!events_.TextOpen() || g + 1 >= static_cast<int>(kBlock)) continue;
            const Mask after = m.lt & ~marks::Below(g + 1);
            Deliver(gt + 1, p + (after != 0 ? LowestBit(after) : kBlockBits), p);
        }
    }

    // The text [from, to) of the block at `p`.
    void Deliver(const uint8_t* from, const uint8_t* to, const uint8_t* p) {
        if (to > from) events_.Text(At(from, p), from, static_cast<size_t>(to - from));
    }

    // The tag from `lt` to `gt` as the tokenizer gives it.
    cleaner::Tag Read(const uint8_t* lt, const uint8_t* gt, Tag::Kind kind, const uint8_t* p) const {
        const uint8_t* name = lt + (kind == Tag::kEnd ? 2 : 1);
        const uint8_t* q = name;
        while (q < gt && !IsMarkupSpace(*q) && (kind == Tag::kEnd || *q != '/')) ++q;
        const size_t n = static_cast<size_t>(q - name);
        constexpr size_t kNameLimit = Tokenizer<Events<Rules>>::kNameLimit;
        cleaner::Tag tag{At(lt, p), At(gt + 1, p), std::string_view(reinterpret_cast<const char*>(name), std::min(n, kNameLimit)),
                         kind, n > kNameLimit};
        if (kind != Tag::kEnd && q < gt && IsMarkupSpace(*q)) {
            const uint8_t* last = kind == Tag::kEmpty ? gt - 1 : gt;
            tag.attributes = std::string_view(reinterpret_cast<const char*>(q + 1), static_cast<size_t>(last - q - 1));
        }
        return tag;
    }

    // A start tag of a name the rules ask for stands in the block.
    bool IdsIn(const uint8_t* p, const Marks& m) const {
        const Ids ids = m.lt != 0 ? rules_.WantsIds() : Ids::kNone;
        if (ids == Ids::kNone) return false;
        return looks::AnyWanted(p, WithKernel(kernel_, [&]<Kernel K>() { return looks::NameStarts<K>(p, ids); }), ids);
    }

    // A text that may be a reference begins in the block, where the rules want those: its
    // first byte that is no blank (any byte up to " " taken for one) after a ">" and blanks.
    // One begun in the block before is waiting as the events' pending text.
    bool ReferencesIn(const uint8_t* p, const Marks& m, int from) const {
        return rules_.WantsReferences() &&
               WithKernel(kernel_, [&]<Kernel K>() { return looks::TextsMayReference<K>(p, m, from); });
    }

    Rules& rules_;
    Events<Rules> events_;
    Tokenizer<Events<Rules>> tokenizer_;
    int64_t pos_ = 0;      // the file offset where the walk stands
    bool bytes_ = false;   // the byte path reads on, to `stop_`
    int64_t stop_ = 0;
    Carry carry_;          // what the block before carried
    bool have_next_ = false;  // the next block's marks are known (it begins in a tag)
    Marks marks_[2];       // the block's, and the next block's where it begins in a tag
    int current_ = 0;
    Mask next_faults_ = 0;
    Carry next_carry_;
    const Kernel kernel_;  // stage 1's compares
    size_t byte_paths_ = 0;
    const uint8_t* end_ = nullptr;  // of the bytes Feed was given
};

}  // namespace cleaner
