// The rules of the index that keep a state of their own, one class each, beside the regions
// and the lists (save_index.cpp): the text an element holds, the root element's end, the
// leaders' markers in the living list, and the extra items with the names they answer to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cleaner/places.h"
#include "cleaner/save_index.h"
#include "cleaner/texts.h"
#include "cleaner/tokenizer.h"

namespace cleaner {

// The text since the last tag, in parts as they come: the whole text of the element the next
// tag closes where no child came between (a leaf), read as a reader reads it and without the
// blanks at either end.
class LeafText {
public:
    void Add(int64_t at, const uint8_t* bytes, size_t n) {
        if (parts_++ == 0) {
            text_.clear();
            joined_ = true;
        } else if (at != end_) {
            joined_ = false;  // markup stood between the parts
        }
        end_ = at + static_cast<int64_t>(n);
        text_.append(reinterpret_cast<const char*>(bytes), n);
    }
    // A tag is read: the text before it is taken, the leaf's should the tag close its element.
    void AtTag() {
        if (parts_ == 0) return;
        parts_ = 0;
        leaf_ = true;
        if (text_.find('&') != std::string::npos) {
            text_ = Decoded(text_);
            joined_ = false;  // spelled otherwise than as it reads
        }
        if (const std::string_view trimmed = Trimmed(text_); trimmed.size() != text_.size()) {
            joined_ = false;
            text_ = std::string(trimmed);
        }
    }
    // An element opened or ended that holds the text as a child's: no leaf.
    void NotLeaf() { leaf_ = false; }
    // The element the tag read now closes takes the text, once: false where it holds none
    // of its own (a child came between), and `text` is then empty.
    bool Take(std::string_view* text) {
        const bool leaf = leaf_;
        *text = leaf ? std::string_view(text_) : std::string_view();
        leaf_ = false;
        return leaf;
    }
    // The text stood in one piece in the file, spelled as it reads.
    bool joined() const { return joined_; }

private:
    std::string text_;  // as it stands, of any length
    int64_t end_ = 0;
    size_t parts_ = 0;
    bool joined_ = true, leaf_ = false;
};

// The first element is the root; whether the tag read last is its end (by name: a long name
// by its first kNameLimit bytes).
class RootEnd {
public:
    void Tag(const cleaner::Tag& tag) {
        if (root_.empty()) {
            if (tag.kind == Tag::kEnd) return;
            root_ = tag.name;
            long_ = tag.long_name;
            at_end_ = tag.kind == Tag::kEmpty;
            return;
        }
        at_end_ = tag.kind == Tag::kEnd && tag.name == root_ && tag.long_name == long_;
    }
    // The save ends before the end tag of its root element.
    bool CutShort() const { return !root_.empty() && !at_end_; }

private:
    std::string root_;
    bool long_ = false, at_end_ = false;
};

// The leaders' markers: in the living list, the first "id" element with each leader's id,
// where the leaders were named before the list.
class LeaderMarkers {
public:
    explicit LeaderMarkers(SaveIndex& index) : index_(index) {}

    // The living list opens.
    void Start() {
        index_.markers.assign(index_.leaders.size(), -1);
        if (index_.factions.end < 0) return;
        for (size_t i = 0; i < index_.leaders.size(); ++i) wanted_[std::string(index_.Id(index_.leaders[i]))].push_back(i);
        unmarked_ = wanted_.size();
    }
    // Some leader has no marker yet.
    bool Looking() const { return unmarked_ > 0; }
    // An "id" element whose text stands so may be a marker: one spelled otherwise than it
    // reads (an entity, blanks at either end) may be any.
    bool MayWant(std::string_view raw) const {
        if (raw.empty() || raw.find('&') != std::string_view::npos || Trimmed(raw).size() != raw.size()) return true;
        return wanted_.count(std::string(raw)) != 0;
    }
    // An "id" element from `begin` in an item of the living list, with its text as it reads;
    // `literal`: spelled "<id>" + id + "</id>".
    void Found(int64_t begin, std::string_view text, bool literal) {
        if (unmarked_ == 0) return;
        auto found = wanted_.find(std::string(text));
        if (found == wanted_.end()) return;
        if (!literal) index_.marker_spelled_otherwise = true;
        for (size_t i : found->second) index_.markers[i] = begin;
        wanted_.erase(found);
        --unmarked_;
    }

private:
    SaveIndex& index_;
    std::unordered_map<std::string, std::vector<size_t>> wanted_;
    size_t unmarked_ = 0;
};

// The items the options may remove, each with the whitespace before it and the names it
// answers to (SaveIndex::extras, extra_names).
class ExtraItems {
public:
    explicit ExtraItems(SaveIndex& index) : index_(index) {}

    // An item is open (its names are asked for wherever they stand in it).
    bool open() const { return open_; }

    // Right inside a list of extra items, a text is the whitespace before the next of them:
    // where it begins, the texts' blank ends run together where nothing stands between them.
    void Space(int64_t at, const uint8_t* bytes, size_t n) {
        size_t k = n;
        while (k > 0 && IsMarkupSpace(bytes[k - 1])) --k;
        if (k > 0 || at != space_to_) space_from_ = at + static_cast<int64_t>(k);
        space_to_ = at + static_cast<int64_t>(n);
    }

    // An item of the list at `row` of kPlaces opens with `tag`.
    void Open(const cleaner::Tag& tag, uint8_t row) {
        const int64_t space = space_to_ == tag.begin ? space_from_ : tag.begin;
        index_.extras.push_back({static_cast<int32_t>(space), static_cast<int32_t>(tag.begin), -1, kPlaces[row].kind,
                                 static_cast<uint32_t>(index_.extra_names.size()), 0});
        open_ = true;
        row_ = row;
        own_names_ = 0;
    }
    // An element whose text the item answers to by opens (`own`: a child of the item).
    void OpenName(Wanted what, bool own) {
        if (own) own_names_ |= NamesBy(what);
    }
    // Its text: the names the item answers to by it.
    void Names(Wanted element, std::string_view id) {
        if (!(kPlaces[row_].names_by & NamesBy(element))) return;
        std::vector<uint64_t>& names = index_.extra_names;
        switch (element) {
            case Wanted::kId:
                names.push_back(NameOf(FormOf(kPlaces[row_].kind == Extra::kTale ? Form::kTale : Form::kThing), id));
                break;
            case Wanted::kArchivedId:
                for (Form form : {Form::kLetter, Form::kMessage, Form::kArchivedDialog})
                    names.push_back(NameOf(FormOf(form), id));
                break;
            case Wanted::kLoadId: names.push_back(NameOf(FormOf(Form::kBattle), id)); break;
            case Wanted::kLogId: names.push_back(NameOf(FormOf(Form::kLogEntry), id)); break;
            default: break;
        }
    }
    // The item ends with `tag`. An own id at its default is left out: the item answers to 0.
    void Close(const cleaner::Tag& tag) {
        const Wanted own = kPlaces[row_].own_id;
        if (own != Wanted::kNone && !(own_names_ & NamesBy(own))) Names(own, "0");
        ExtraItem& item = index_.extras.back();
        item.end = static_cast<int32_t>(tag.end);
        item.names = static_cast<uint32_t>(index_.extra_names.size()) - item.names_at;
        open_ = false;
    }

private:
    SaveIndex& index_;
    bool open_ = false;
    uint8_t row_ = 0;         // of the open item's list
    uint8_t own_names_ = 0;   // of the open item: the elements of its own (NamesBy)
    int64_t space_from_ = -1, space_to_ = -1;
};

}  // namespace cleaner
