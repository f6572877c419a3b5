// What both stages give the rules, in the same terms: each tag with its level from the root
// (an end tag's: the element it ends), named to the rules down to the level they ask for
// (NamedLevel) and, wherever it stands, a start tag of a name they ask for (WantsIds); the
// text after a named tag where they want it (WantsText); and a leaf text (from
// a start tag to the end tag right after it) that begins with a reference form where they
// want those (WantsReferences), its parts joined, once its end tag shows it whole. The tokenizer feeds
// this as its sink; the walk calls the same steps for the tags it reads from the masks, and
// either takes over the texts where the other stopped.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cleaner/texts.h"
#include "cleaner/tokenizer.h"

namespace cleaner {

// What rules answer the reader, both stages alike. Asked before each tag and text: the level
// from the root down to which tags are named (the document 0, the root element 1); the names
// of start tags named wherever they stand; whether an "id" element with the text `raw` (as it
// stands) may be one of those they look for (a block is passed over only where none is);
// whether they want the text after the tag named last, and the leaf texts that may be
// references. Given: each tag named, with its level (an end tag's: the element it ends);
// the texts wanted, in parts as they come; each leaf text that begins with a reference form,
// whole, from its first byte that is no blank.
template <class R>
concept IndexRules = requires(R& rules, const R& asked, const Tag& tag, int level, int64_t at, const uint8_t* bytes, size_t n,
                              std::string_view raw) {
    { asked.NamedLevel() } -> std::same_as<int>;
    { asked.WantsIds() } -> std::same_as<Ids>;
    { asked.MayWantId(raw) } -> std::same_as<bool>;
    { asked.WantsText() } -> std::same_as<bool>;
    { asked.WantsReferences() } -> std::same_as<bool>;
    rules.Tag(tag, level);
    rules.Text(at, bytes, n);
    rules.ReferenceText(at, raw);
};

template <IndexRules Rules>
class Events {
public:
    explicit Events(Rules& rules) : rules_(rules) {}

    // The tokenizer's tags.
    void Tag(const cleaner::Tag& tag) {
        Before(tag.kind);
        const int level = Level(tag.kind);
        const bool named = level <= rules_.NamedLevel() ||
                           (tag.kind != Tag::kEnd && !tag.long_name && IsWanted(tag.name, rules_.WantsIds()));
        if (named) rules_.Tag(tag, level);
        After(tag.kind, named);
    }
    bool WantsText() const { return to_rules_ || candidate_; }
    void Text(int64_t at, const uint8_t* bytes, size_t n) {
        if (to_rules_) rules_.Text(at, bytes, n);
        if (candidate_ && !skipping_) Candidate(at, bytes, n);
    }

    // The steps of a tag: before it is named (a leaf text before an end tag is given), its
    // level, and after it (the depth, and what the text after it is for).
    void Before(Tag::Kind kind) {
        if (kind == Tag::kEnd && candidate_ && !skipping_ && !text_.empty() && StartOf(text_) == Start::kForm)
            rules_.ReferenceText(text_at_, text_);
    }
    int Level(Tag::Kind kind) const { return kind == Tag::kEnd ? depth_ : depth_ + 1; }
    void After(Tag::Kind kind, bool named) {
        if (kind == Tag::kStart) ++depth_;
        if (kind == Tag::kEnd && depth_ > 0) --depth_;
        to_rules_ = named && rules_.WantsText();
        candidate_ = kind == Tag::kStart && rules_.WantsReferences();
        skipping_ = false;
        text_.clear();
        checked_ = kFirstCheck;
    }
    // Tags passed over by their counts alone: none named, none before a text that may be a
    // reference but perhaps the last, a start tag when `last_start`.
    void Passed(int delta, bool last_start) {
        depth_ += delta;
        to_rules_ = false;
        candidate_ = last_start && rules_.WantsReferences();
        skipping_ = false;
        text_.clear();
        checked_ = kFirstCheck;
    }

    int depth() const { return depth_; }
    // A text follows that something wants: the rules, or a possible reference.
    bool TextOpen() const { return to_rules_ || (candidate_ && !skipping_); }
    // A possible reference is waiting for its end tag.
    bool Pending() const { return candidate_ && !skipping_; }

private:
    static constexpr size_t kFirstCheck = 16;

    // A text kept only as a possible reference: it may follow blanks and begin with a character
    // reference, and it is let go as soon as it cannot be one.
    void Candidate(int64_t at, const uint8_t* bytes, size_t n) {
        if (text_.empty()) {
            size_t k = 0;
            while (k < n && IsMarkupSpace(bytes[k])) ++k;
            if (k == n) return;
            if (!MayBeginReference(bytes[k])) return void(skipping_ = true);  // and its other parts
            text_at_ = at + static_cast<int64_t>(k);
            bytes += k, n -= k;
        }
        text_.append(reinterpret_cast<const char*>(bytes), n);
        if (text_.size() < checked_) return;
        const Start start = StartOf(text_);
        if (start == Start::kNone) {
            skipping_ = true;
            text_.clear();
        }
        checked_ = start == Start::kForm ? SIZE_MAX : 2 * checked_;
    }

    Rules& rules_;
    int depth_ = 0;
    bool to_rules_ = false;   // the text after the last tag goes to the rules
    bool candidate_ = false;  // it may be a reference (the last tag was a start tag)
    bool skipping_ = false;   // it is none
    std::string text_;        // its bytes from the first that is no blank
    int64_t text_at_ = 0;
    size_t checked_ = kFirstCheck;
};

}  // namespace cleaner
