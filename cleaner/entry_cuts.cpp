// The entry cuts over the section seen in place.
//
// Every search here gives the answer a plain search of the section text would give; the
// speed comes from not searching what is already known: the step back to an entry's start
// is one backward look, and the scan for an entry's end remembers its last answers.
#include "cleaner/entry_cuts.h"

#include <algorithm>
#include <cstring>

#include "runtime/text.h"

namespace cleaner {

namespace {

constexpr int32_t kItemEndLength = 5;       // "</li>"
constexpr int32_t kStepLimit = 10000;       // how far back an entry's start is looked for
constexpr int32_t kFirstEntryStart = 12;    // the start taken when there is nothing before
constexpr int32_t kFirstOpenOffset = 50;    // past the entry's own "<li>"
constexpr int32_t kFirstClassOffset = 80;   // where the first "<li Class" is looked for
constexpr int32_t kOpenEndedOffset = 17;    // R = Slen - 17: the entry runs to the list's end
constexpr int64_t kWindow = 32 << 10;        // how much of the save a search reads at once

// One fragment, found again and again in the section. It remembers its last answer and the
// answer from position 1, so a scan that walks forward, or starts over at the beginning,
// searches no byte twice.
class Finder {
public:
    template <size_t N>
    Finder(SectionText& text, const char (&sought)[N])
        : text_(text), sought_(reinterpret_cast<const uint8_t*>(sought)), m_(static_cast<int32_t>(N - 1)) {}

    int32_t From(int64_t start) {
        if (start < 1) start = 1;
        if (Covers(first_, start)) return first_.found;
        if (Covers(last_, start)) return last_.found;
        Answer a{start, text_.Find(sought_, m_, start)};
        if (start == 1) first_ = a;
        last_ = a;
        return a.found;
    }

private:
    struct Answer {
        int64_t from;   // 0: nothing asked yet
        int32_t found;  // the first occurrence at or after `from`, or -1
    };
    // No occurrence lies between `from` and `found`, so a later start up to `found` gets
    // the same answer (and after a -1, every later start gets -1).
    static bool Covers(const Answer& a, int64_t start) {
        return a.from > 0 && start >= a.from && (a.found == -1 || start <= a.found);
    }

    SectionText& text_;
    const uint8_t* sought_;
    int32_t m_;
    Answer first_{0, 0};
    Answer last_{0, 0};
};

// The scan state at the start of a pass, for telling when a pass repeats an earlier one.
// Once the first "<li Class" has been looked for, the depth never grows past 1 and only
// whether it is above 0 changes what the steps do.
struct ScanState {
    int32_t closing, opening, class_item;
    bool deep, counted;
    bool operator==(const ScanState&) const = default;
};

// The walk of FindEntryEnd, its state held between its steps: the closing tag it stands
// on, the opening tag it has counted up to, the depth, and the "<li Class" item it looks
// at with that item's first ">" and first "/>".
class EntryEndScan {
public:
    EntryEndScan(SectionText& section, int32_t entry_start)
        : entry_start_(entry_start), open_ended_(section.Length() - kOpenEndedOffset),
          pass_limit_(8 * int64_t{section.Length()} + 64), closing_tags_(section, "</li>"), opening_tags_(section, "<li>"),
          class_items_(section, "<li Class"), tag_ends_(section, ">"), self_closings_(section, "/>"),
          closing_(entry_start) {}

    int32_t Run() {
        for (int64_t pass = 0;; ++pass) {
            if (Repeats(pass)) return open_ended_;
            closing_ = closing_tags_.From(int64_t{closing_} + 1);
            opening_ = opening_tags_.From(pass == 0 ? int64_t{entry_start_} + kFirstOpenOffset + 1
                                                    : int64_t{opening_} + 1);
            if (opening_ > closing_ && !Unmatched()) return open_ended_;
            if (!(opening_ < closing_ || depth_ > 0)) return closing_;
        }
    }

private:
    // A pass that repeats an earlier one repeats for ever: Brent's cycle finding, with a
    // bound on the passes (many times what any list needs) as a last guard.
    bool Repeats(int64_t pass) {
        ScanState now{closing_, opening_, class_item_, depth_ > 0, counted_};
        if (pass > pass_limit_ || (pass > 0 && now == saved_)) return true;
        if (since_saved_ == power_) {
            saved_ = now;
            power_ *= 2;
            since_saved_ = 0;
        }
        ++since_saved_;
        return false;
    }

    // A closing tag with no opening tag before it: the depth drops and the next class items
    // are accounted for. False when the entry runs to the list's end: the closing tags ran
    // out with the depth above 0, or the class items would be gone round for ever.
    bool Unmatched() {
        const bool first = !counted_;
        counted_ = true;
        if (closing_ == -1 && depth_ > 0) return false;
        if (first) {
            class_item_ = class_items_.From(int64_t{entry_start_} + kFirstClassOffset);
        } else {
            --depth_;
            class_item_ = class_items_.From(int64_t{class_item_} + 1);
        }
        return PassClassItems();
    }

    // Steps over the class items before the closing tag that close themselves; one closed
    // by ">" has its own "</li>", one more to pass.
    bool PassClassItems() {
        LookAtClassItem();
        int rounds = class_item_ == -1 ? 1 : 0;
        while (class_item_ < closing_) {
            if (tag_end_ < self_closing_) {
                closing_ = closing_tags_.From(int64_t{closing_} + 1);
                ++depth_;
                return true;
            }
            class_item_ = class_items_.From(int64_t{class_item_} + 1);
            if (class_item_ == -1 && ++rounds == 2) return false;  // round every class item
            LookAtClassItem();
        }
        return true;
    }

    void LookAtClassItem() {
        tag_end_ = tag_ends_.From(int64_t{class_item_} + 1);
        self_closing_ = self_closings_.From(int64_t{class_item_} + 1);
    }

    const int32_t entry_start_, open_ended_;
    const int64_t pass_limit_;
    Finder closing_tags_, opening_tags_, class_items_, tag_ends_, self_closings_;
    int32_t closing_, opening_ = 0, class_item_ = 0, tag_end_ = 0, self_closing_ = 0;
    int64_t depth_ = 0;
    bool counted_ = false;
    ScanState saved_{};
    int64_t power_ = 1, since_saved_ = 0;
};

}  // namespace

// Stepping the start of a forward search back from the marker one position at a time, the
// first start whose search lands at or before the marker is the start of the nearest
// "</li>" before it; the 10001st step ends the walk whatever it found, and a start below 0
// gives 12. So the answer is that "</li>" when it begins at marker - 10000 or later, else
// 12 for a marker up to 10000, else lost.
int32_t FindEntryStart(SectionText& section, int32_t marker) {
    // The first search, from the marker, lands at or before it only when a "</li>" begins
    // there.
    const int64_t last_fitting = int64_t{section.Length()} - kItemEndLength + 1;
    const int64_t lowest = std::max<int64_t>(1, int64_t{marker} - kStepLimit);
    const int64_t highest = std::min<int64_t>(marker, last_fitting);
    if (highest >= lowest) {
        const uint8_t* window = section.Bytes(lowest, static_cast<int32_t>(highest - lowest + kItemEndLength));
        auto item_end_at = [&](int64_t at) { return std::memcmp(window + (at - lowest), "</li>", kItemEndLength) == 0; };
        if (marker >= 1 && marker <= last_fitting && item_end_at(marker)) return marker;
        for (int64_t at = std::min<int64_t>(int64_t{marker} - 1, last_fitting); at >= lowest; --at) {
            if (item_end_at(at)) return static_cast<int32_t>(at);
        }
    }
    return marker <= kStepLimit ? kFirstEntryStart : kEntryStartLost;
}

// The closing tags after the entry's start and the opening tags after 50 positions into it
// are walked in step, with the "<li Class" items accounted for apart. A search that finds
// nothing gives -1, and the next search from there starts over at position 1; so the walk
// can come back to a pass it has made before, or, inside the class-item loop, go round the
// section's class items for ever. Both are caught here, and then the entry is taken through
// the end of the list (R = Slen - 17), as the walk itself does when the closing tags run
// out with the depth above 0. On every input where the walk ends by itself, the answer is
// the walk's own.
int32_t FindEntryEnd(SectionText& section, int32_t entry_start) { return EntryEndScan(section, entry_start).Run(); }

int32_t TextInMemory::Find(const uint8_t* sought, int32_t m, int64_t start) {
    return runtime::FindBytesIn(data_, length_, sought, m, static_cast<int32_t>(std::clamp<int64_t>(start, -1, INT32_MAX)));
}

// The window moves forward over the text as a search goes, each load the next stretch of
// the save, overlapping the last by the sought bytes less one; a search that starts inside
// the window reads nothing.
int32_t TextInSave::Find(const uint8_t* sought, int32_t m, int64_t start) {
    for (int64_t at = std::max<int64_t>(start, 1), first = 1; at + m - 1 <= length_; first = 0) {
        if (!Load(at, m, first != 0)) return -1;
        const int64_t window_end = from_ + static_cast<int64_t>(window_.size());
        const int32_t found =
            runtime::FindBytesIn(window_.data() + (at - from_), static_cast<int32_t>(window_end - at), sought, m, 1);
        if (found != -1) return static_cast<int32_t>(at + found - 1);
        if (window_end > length_) break;
        at = window_end - (m - 1);
    }
    return -1;
}

const uint8_t* TextInSave::Bytes(int64_t at, int32_t n) {
    Load(at, n, true);
    return window_.data() + (at - from_);
}

// Positions [at, at + n) in the window, unless they are there already, loaded a window's
// worth at a time: from the start of the window-sized block that holds `at` (so that the
// scans of one entry, which search from many starts close together, read it once), or, for
// the next stretch of a search under way, from `at` itself.
bool TextInSave::Load(int64_t at, int64_t n, bool aligned) {
    if (at >= from_ && at + n <= from_ + static_cast<int64_t>(window_.size())) return read_;
    const int64_t from = aligned ? (at - 1) / kWindow * kWindow + 1 : at;
    const int64_t size = std::max<int64_t>(at + n - from, std::min<int64_t>(kWindow, int64_t{length_} - from + 1));
    window_.resize(static_cast<size_t>(size));
    from_ = from;
    if (!source_.ReadAt(offset_ + from - 1, window_.data(), window_.size())) {
        std::fill(window_.begin(), window_.end(), 0);
        read_ = false;
    }
    return read_;
}

}  // namespace cleaner
