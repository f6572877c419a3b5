// The byte path: the tokenizer's events as the rules read them. Each tag has its level from
// the root (an end tag's: the element it ends); a tag is named to the rules down to the level
// they ask for (NamedLevel), an "id" start tag wherever they ask for those (WantsIds); the
// text after a named tag goes to them where they want it (WantsText); a leaf text (between a
// start tag and the end tag after it) that may be a reference goes to them where they want
// those (WantsReferences), its parts joined, once its end tag shows it is one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cleaner/texts.h"
#include "cleaner/tokenizer.h"

namespace cleaner {

template <class Rules>
class ByteReader {
public:
    explicit ByteReader(Rules& rules) : rules_(rules) {}

    void Tag(const cleaner::Tag& tag) {
        if (tag.kind == Tag::kEnd && candidate_ && !skipping_ && !text_.empty()) rules_.ReferenceText(text_at_, text_);
        const int level = tag.kind == Tag::kEnd ? depth_ : depth_ + 1;
        const bool named = level <= rules_.NamedLevel() ||
                           (tag.kind != Tag::kEnd && !tag.long_name && tag.name == "id" && rules_.WantsIds());
        if (named) rules_.Tag(tag, level);
        if (tag.kind == Tag::kStart) ++depth_;
        if (tag.kind == Tag::kEnd && depth_ > 0) --depth_;
        to_rules_ = named && rules_.WantsText();
        candidate_ = tag.kind == Tag::kStart && rules_.WantsReferences();
        skipping_ = false;
        text_.clear();
        checked_ = kFirstCheck;
    }

    bool WantsText() const { return to_rules_ || candidate_; }

    void Text(int64_t at, const uint8_t* bytes, size_t n) {
        if (to_rules_) rules_.Text(at, bytes, n);
        if (candidate_ && !skipping_) Candidate(at, bytes, n);
    }

    int depth() const { return depth_; }

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
