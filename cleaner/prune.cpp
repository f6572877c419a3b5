// World-pawn pruning over the index.
//
// The leaders' entries are first cut by text position, as the program always cut them; in
// the game's Windows layout those cuts are each leader's item with the whitespace around
// it. The cuts read the list's text again by offset, around each leader's marker. Where
// they are not each a leader's own top-level item with whitespace around it (other
// layouts, "<li />" items that throw the count of tags off, an entry that runs on through
// the next pawn or stops short of its own, an id nested in another pawn's item, one item
// taken twice), the items of the index are written instead: the output never holds part
// of an item, or an item twice.
#include "cleaner/prune.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "cleaner/assemble.h"
#include "cleaner/entry_cuts.h"
#include "cleaner/tokenizer.h"
#include "runtime/text.h"

namespace cleaner {

namespace {

constexpr char kOpeningTag[] = "<pawnsAlive>";
constexpr char kClosingTag[] = "</pawnsAlive>";
constexpr int64_t kOpeningTagLength = sizeof kOpeningTag - 1;
constexpr int64_t kClosingTagLength = sizeof kClosingTag - 1;
constexpr int32_t kItemEndLength = 5;       // "</li>"
constexpr int32_t kShortEntry = 300;
constexpr int64_t kLongestSpace = 1 << 16;  // whitespace around an item is never this long

Piece OfItem(const Item& item) { return Stretch(item.begin, item.end); }

bool Overlap(const Piece& a, const Piece& b) {
    return a.offset < b.offset + b.length && b.offset < a.offset + a.length;
}

// What goes into a list, and what the user is told of it.
struct Kept {
    std::vector<Piece> pieces;
    PruneCounts counts;
    std::vector<Notice> notices;
    std::vector<bool> found;  // by leader: its item is among the pieces
};

// What one list lost: the items not written.
struct Removed {
    std::vector<Span> items;
    int32_t count = 0;
};

class Pruning {
public:
    Pruning(SaveSource& source, const SaveIndex& index, const CleanOptions& options)
        : source_(source), index_(index), options_(options) {
        for (IdRef ref : index.leaders) leaders_.push_back(index.Id(ref));
        std::vector<std::string_view> held;
        for (IdRef ref : index.held) held.push_back(index.Id(ref));
        // The game's own list of the world pawns its clean-up never removes (mods add theirs):
        // each is held as a caravan's member is.
        for (const Item& entry : index.kept_forever.items)
            if (entry.has_id) held.push_back(index.Id(entry));
        std::sort(held.begin(), held.end());
        held.erase(std::unique(held.begin(), held.end()), held.end());
        std::vector<std::string_view> leaders = leaders_;
        std::sort(leaders.begin(), leaders.end());
        // A leader's item is taken as a leader's.
        std::set_difference(held.begin(), held.end(), leaders.begin(), leaders.end(), std::back_inserter(held_));
    }

    Pruned Run();

private:
    bool CutsMayStand();
    bool Cut(bool may_stand, Pruned* out);
    Kept KeepWholeItems(const ItemList& list);
    std::vector<Piece> ItemsWithIds(const ItemList& list, const std::vector<std::string_view>& ids) const;
    const Item* FirstWithId(const ItemList& list, std::string_view id) const;
    const Item* SoleItem(const Piece& piece);
    bool Space(int64_t from, int64_t to);
    bool Short(const Piece& piece);
    void Leader(Kept& kept, const Piece& piece);
    Pruned Finish(Kept kept, bool as_cut);
    Removed RemovedFrom(const ItemList& list, const std::vector<Piece>& written) const;
    Pruned Unread() const {
        Pruned out;
        out.halt = Halt::kUnread;
        return out;
    }

    SaveSource& source_;
    const SaveIndex& index_;
    const CleanOptions options_;
    std::vector<std::string_view> leaders_, held_;
    bool unread_ = false;  // a stretch of the save could not be read again
};

// The list's tags stand as the cuts know them, with whitespace after the opening one and no
// NUL in it; its leaders' markers were found where the cuts would find them.
bool Pruning::CutsMayStand() {
    const ItemList& living = index_.living;
    uint8_t after = 0;
    if (living.ContentEnd() > living.ContentBegin() && !source_.ReadAt(living.ContentBegin(), &after, 1)) unread_ = true;
    const bool spaced = living.ContentEnd() > living.ContentBegin() && IsMarkupSpace(after);
    return spaced && living.open.end - living.open.begin == kOpeningTagLength &&
           living.close.end - living.close.begin == kClosingTagLength &&
           index_.first_nul_in_living < 0 &&
           !index_.marker_spelled_otherwise;
}

Pruned Pruning::Run() {
    Pruned out;
    if (!index_.markup) out.halt = Halt::kNoSave;
    else if (index_.cut_short) out.halt = Halt::kCutShort;
    else if (leaders_.empty()) out.halt = Halt::kNoLeaders;
    else if (!index_.living.Present()) out.halt = Halt::kNoList;
    if (out.halt != Halt::kNone) return out;
    // The markers are known only where the leaders were named before the list.
    const bool marked = index_.factions.end >= 0 && index_.factions.end <= index_.living.open.begin;
    const bool may_stand = marked && CutsMayStand();
    if (unread_) return Unread();
    if (marked && Cut(may_stand, &out)) return out;
    out = Finish(KeepWholeItems(index_.living), false);
    return unread_ ? Unread() : out;
}

// The leaders' entries as the text positions cut them, in leader order, the held items
// after them; written as cut where they are whole items (true, with `*out` the result). An
// entry that cannot be delimited (error code 01) stops the run, whether or not the cuts
// could stand: so do the steps the program always took.
bool Pruning::Cut(bool may_stand, Pruned* out) {
    const ItemList& living = index_.living;
    const int64_t a = living.open.begin;
    const int64_t section_end = std::min(index_.size, living.close.begin + kClosingTagLength);
    const int64_t nul = index_.first_nul_in_living;
    const int64_t text_end = nul >= 0 && nul < section_end ? nul : section_end;
    TextInSave text(source_, a, static_cast<int32_t>(text_end - a));
    std::vector<int32_t> markers(leaders_.size(), -1);  // in the text, from 1
    bool lost = false;
    for (size_t i = 0; i < leaders_.size(); ++i) {
        const int64_t at = index_.markers[i];
        if (at < 0 || at + 9 + static_cast<int64_t>(leaders_[i].size()) > text_end) continue;  // "<id>" id "</id>"
        markers[i] = static_cast<int32_t>(at - a + 1);
        if (!may_stand) lost = lost || FindEntryStart(text, markers[i]) == kEntryStartLost;
    }
    if (!text.Read()) return *out = Unread(), true;
    if (!may_stand && !lost) return false;

    Kept cut;
    cut.found.assign(leaders_.size(), false);
    std::vector<size_t> leader_of;
    for (size_t i = 0; i < leaders_.size(); ++i) {
        if (markers[i] == -1) continue;
        const int32_t before = FindEntryStart(text, markers[i]);
        if (!text.Read()) return *out = Unread(), true;
        if (before == kEntryStartLost) {
            out->halt = Halt::kLost;
            out->notices = std::move(cut.notices);
            return true;
        }
        const int64_t start = int64_t{before} + kItemEndLength;
        const int32_t end = FindEntryEnd(text, static_cast<int32_t>(start));
        const runtime::Cut bytes =
            runtime::MidBytesCut(static_cast<int32_t>(section_end - a), static_cast<int32_t>(start),
                                 static_cast<int32_t>(std::clamp<int64_t>(end + kItemEndLength - start, -1, INT32_MAX)));
        ++cut.counts.leaders;
        Leader(cut, {a + bytes.offset, bytes.count, nullptr});
        leader_of.push_back(i);
        cut.found[i] = true;
    }
    if (!text.Read() || unread_) return *out = Unread(), true;
    // Each entry is whitespace around its leader's own top-level item, and no two items
    // written share a byte.
    const std::vector<Piece> held = ItemsWithIds(living, held_);
    std::vector<Piece> written = held;
    bool whole = true;
    for (size_t k = 0; whole && k < leader_of.size(); ++k) {
        const Item* item = SoleItem(cut.pieces[k]);
        whole = item != nullptr && item->has_id && index_.Id(*item) == leaders_[leader_of[k]];
        if (whole) written.push_back(OfItem(*item));
    }
    std::sort(written.begin(), written.end(), [](const Piece& x, const Piece& y) { return x.offset < y.offset; });
    for (size_t k = 1; whole && k < written.size(); ++k) whole = !Overlap(written[k - 1], written[k]);
    if (unread_) return *out = Unread(), true;
    if (!whole) return false;
    cut.pieces.insert(cut.pieces.end(), held.begin(), held.end());
    cut.counts.held = static_cast<int32_t>(held.size());
    *out = Finish(std::move(cut), true);
    if (unread_) *out = Unread();
    return true;
}

// The one top-level item that `piece` holds whole, with nothing but whitespace around it in
// the piece and no other item touched; null when there is none such.
const Item* Pruning::SoleItem(const Piece& piece) {
    const std::vector<Item>& items = index_.living.items;
    const int64_t end = piece.offset + piece.length;
    auto first = std::lower_bound(items.begin(), items.end(), piece.offset,
                                  [](const Item& item, int64_t at) { return item.begin < at; });
    if (first == items.end() || first->end > end) return nullptr;
    if (first != items.begin() && std::prev(first)->end > piece.offset) return nullptr;
    if (std::next(first) != items.end() && std::next(first)->begin < end) return nullptr;
    if (!Space(piece.offset, first->begin) || !Space(first->end, end)) return nullptr;
    return &*first;
}

// The stretch [from, to) of the save is whitespace only.
bool Pruning::Space(int64_t from, int64_t to) {
    if (to - from > kLongestSpace) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(to - from));
    if (!source_.ReadAt(from, bytes.data(), bytes.size())) {
        unread_ = true;
        return false;
    }
    return std::all_of(bytes.begin(), bytes.end(), IsMarkupSpace);
}

// Shorter than 300 characters, as text: a NUL ends it.
bool Pruning::Short(const Piece& piece) {
    if (piece.length < kShortEntry) return true;
    uint8_t head[kShortEntry];
    if (!source_.ReadAt(piece.offset, head, sizeof head)) unread_ = true;
    return std::memchr(head, 0, sizeof head) != nullptr;
}

void Pruning::Leader(Kept& kept, const Piece& piece) {
    kept.pieces.push_back(piece);
    if (Short(piece)) kept.notices.push_back({Notice::Kind::kShortEntry, kept.counts.leaders});
}

const Item* Pruning::FirstWithId(const ItemList& list, std::string_view id) const {
    for (const Item& item : list.items)
        if (item.has_id && index_.Id(item) == id) return &item;
    return nullptr;
}

// Of the list's items, the first whose own id is each of `ids` (sorted, each once), in
// list order.
std::vector<Piece> Pruning::ItemsWithIds(const ItemList& list, const std::vector<std::string_view>& ids) const {
    std::vector<Piece> with;
    std::vector<bool> taken(ids.size(), false);
    for (const Item& item : list.items) {
        if (!item.has_id) continue;
        auto found = std::lower_bound(ids.begin(), ids.end(), index_.Id(item));
        if (found == ids.end() || *found != index_.Id(item) || taken[static_cast<size_t>(found - ids.begin())]) continue;
        taken[static_cast<size_t>(found - ids.begin())] = true;
        with.push_back(OfItem(item));
    }
    return with;
}

// Each leader's own item, once, in leader order (a leader counts as found as often as it is
// named), then the held items in list order.
Kept Pruning::KeepWholeItems(const ItemList& list) {
    std::vector<std::pair<std::string_view, size_t>> by_id;  // the first item of each own id
    for (size_t i = 0; i < list.items.size(); ++i)
        if (list.items[i].has_id) by_id.emplace_back(index_.Id(list.items[i]), i);
    std::stable_sort(by_id.begin(), by_id.end());

    Kept kept;
    kept.found.assign(leaders_.size(), false);
    std::vector<size_t> written;
    for (size_t i = 0; i < leaders_.size(); ++i) {
        auto found = std::lower_bound(by_id.begin(), by_id.end(), std::pair<std::string_view, size_t>(leaders_[i], 0));
        if (found == by_id.end() || found->first != leaders_[i]) continue;
        ++kept.counts.leaders;
        kept.found[i] = true;
        if (std::find(written.begin(), written.end(), found->second) != written.end()) continue;
        written.push_back(found->second);
        Leader(kept, OfItem(list.items[found->second]));
    }
    const std::vector<Piece> held = ItemsWithIds(list, held_);
    kept.pieces.insert(kept.pieces.end(), held.begin(), held.end());
    kept.counts.held = static_cast<int32_t>(held.size());
    return kept;
}

Removed Pruning::RemovedFrom(const ItemList& list, const std::vector<Piece>& written) const {
    std::vector<Piece> sorted = written;
    std::sort(sorted.begin(), sorted.end(), [](const Piece& x, const Piece& y) { return x.offset < y.offset; });
    Removed removed;
    for (const Item& item : list.items) {
        const Piece bytes = OfItem(item);
        auto after = std::upper_bound(sorted.begin(), sorted.end(), bytes.offset,
                                      [](int64_t at, const Piece& piece) { return at < piece.offset; });
        const bool covered = (after != sorted.end() && Overlap(*after, bytes)) ||
                             (after != sorted.begin() && Overlap(*std::prev(after), bytes));
        removed.count += !covered;
        if (!covered) removed.items.push_back({item.begin, item.end});
    }
    return removed;
}

// The output: the lists rewritten, the boxes counted over the living and the mothballed
// pawns. After the cuts the head runs through the byte after the opening tag, as they
// always kept it; item by item it ends with the tag. The list of pawns kept whatever happens
// stays as it is: its pawns are held.
Pruned Pruning::Finish(Kept kept, bool as_cut) {
    Pruned out;
    const ItemList& mothballed = index_.mothballed;
    int32_t found = kept.counts.leaders;
    for (size_t i = 0; i < leaders_.size(); ++i)
        found += !kept.found[i] && mothballed.Present() && FirstWithId(mothballed, leaders_[i]) != nullptr;
    const auto total = static_cast<int32_t>(leaders_.size());
    if (found < total) kept.notices.push_back({Notice::Kind::kLeadersMissing, found, total});

    const bool clean_mothballed = options_.mothballed && mothballed.Present();
    Kept cleaned;
    if (clean_mothballed) cleaned = KeepWholeItems(mothballed);
    const Removed living = RemovedFrom(index_.living, kept.pieces);
    const Removed asleep = clean_mothballed ? RemovedFrom(mothballed, cleaned.pieces) : Removed();

    std::vector<Splice> splices;
    std::vector<Span> gone = living.items;  // what the world-pawn rule takes out
    gone.insert(gone.end(), asleep.items.begin(), asleep.items.end());
    const int64_t head = index_.living.open.end + (as_cut ? 1 : 0);
    splices.push_back({head, index_.living.close.begin, ListPieces(kept.pieces)});
    if (clean_mothballed) splices.push_back({mothballed.ContentBegin(), mothballed.ContentEnd(), ListPieces(cleaned.pieces)});
    if (options_.AnyExtra()) {
        const Shrunk shrunk = Shrink(index_, options_.extras, std::move(gone));
        for (const Span& cut : shrunk.cuts) splices.push_back({cut.begin, cut.end, {}});
        std::sort(splices.begin(), splices.end(), [](const Splice& x, const Splice& y) { return x.from < y.from; });
        out.counts.extras = shrunk.counts;
    }
    // Pieces that overlap or stand out of order are a save read otherwise than it is: written
    // nothing, as an entry that cannot be delimited.
    if (!OutputPieces(index_.size, splices, &out.pieces)) {
        out.halt = Halt::kLost;
        out.notices = std::move(kept.notices);
        return out;
    }
    out.counts.living_removed = living.count;
    if (options_.mothballed) out.counts.mothballed_removed = clean_mothballed ? asleep.count : 0;
    out.counts.leaders = kept.counts.leaders;
    out.counts.asleep_leaders = found - kept.counts.leaders;
    out.counts.held = kept.counts.held;
    out.notices = std::move(kept.notices);
    return out;
}

}  // namespace

Pruned PrunePawnList(SaveSource& source, const SaveIndex& index, const CleanOptions& options) {
    return Pruning(source, index, options).Run();
}

}  // namespace cleaner
