// World-pawn pruning over the section seen in place.
//
// The leaders' entries are first cut by text position, as the program always cut them; in
// the game's Windows layout those cuts are each leader's item with the whitespace around
// it, and in the game's other layouts mostly too. Where they are not ("<li />" items that
// throw the count of tags off, no whitespace between tags, an entry that runs on through the
// next pawn or stops short of its own, one item taken twice), the list is walked item by
// item and the leaders' own items are written instead: the output never holds part of an
// item, or an item twice.
#include "cleaner/prune.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "cleaner/assemble.h"
#include "cleaner/entry_cuts.h"
#include "cleaner/items.h"
#include "cleaner/markers.h"
#include "cleaner/world_lists.h"

namespace cleaner {

namespace {

constexpr char kOpeningTag[] = "<pawnsAlive>";
constexpr int32_t kOpeningTagLength = 12;
constexpr int32_t kClosingTagLength = 13;  // "</pawnsAlive>"
constexpr int32_t kItemEndLength = 5;      // "</li>"
constexpr int32_t kShortEntry = 300;

std::vector<std::string_view> LeaderNames(const runtime::DynamicArray* leader_ids) {
    runtime::ArrayView ids = runtime::ArrayElements(leader_ids);
    std::vector<std::string_view> names;
    for (int32_t i = 0; i < ids.count; ++i) {
        runtime::Text id = runtime::TextMemberAt(ids.first + i * runtime::kPointerMemberSize);
        names.push_back(id == nullptr ? std::string_view() : std::string_view(id));
    }
    return names;
}

// The held ids that are not a leader's: a leader's item is taken as a leader's.
std::vector<std::string_view> HeldApartFromLeaders(const std::vector<std::string_view>& held,
                                                   std::vector<std::string_view> leaders) {
    std::sort(leaders.begin(), leaders.end());
    std::vector<std::string_view> apart;
    std::set_difference(held.begin(), held.end(), leaders.begin(), leaders.end(), std::back_inserter(apart));
    return apart;
}

// Shorter than 300 characters, as text: a NUL ends it.
bool ShortEntry(SaveView entry) {
    int32_t n = std::min(entry.length, kShortEntry);
    return n < kShortEntry || std::memchr(entry.data, 0, static_cast<size_t>(n)) != nullptr;
}

// What goes into the output's list, and what the user is told of it.
struct Kept {
    std::vector<SaveView> pieces;
    PruneCounts counts;
    std::vector<Notice> notices;
    std::vector<bool> found;  // by leader: its item is among the pieces

    void Leader(SaveView piece) {
        pieces.push_back(piece);
        if (ShortEntry(piece)) notices.push_back({Notice::Kind::kShortEntry, counts.leaders});
    }
};

// The leaders' entries as the text positions cut them, in leader order: from the end of the
// "</li>" before each marker through the "</li>" the end scan stops at. False when an
// entry cannot be delimited.
bool CutLeaderEntries(const PawnSection& section, const std::vector<int32_t>& markers, size_t leaders, Kept& kept,
                      std::vector<size_t>& leader_of) {
    kept.found.assign(leaders, false);
    for (size_t i = 0; i < leaders; ++i) {
        if (markers[i] == -1) continue;
        int32_t before = FindEntryStart(section.text, markers[i]);
        if (before == kEntryStartLost) return false;
        int64_t start = int64_t{before} + kItemEndLength;
        int32_t end = FindEntryEnd(section.text, static_cast<int32_t>(start));
        ++kept.counts.leaders;
        kept.Leader(section.bytes.MidBytes(start, int64_t{end} + kItemEndLength - start));
        leader_of.push_back(i);
        kept.found[i] = true;
    }
    return true;
}

// Each leader's own item, once, in leader order (a leader counts as found as often as it is
// named), then the held items in list order.
Kept KeepWholeItems(const std::vector<ListItem>& items, const std::vector<std::string_view>& leaders,
                    const std::vector<std::string_view>& held) {
    std::vector<std::pair<std::string_view, size_t>> by_id;  // the first item of each own id
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].HasOwnId()) by_id.emplace_back(items[i].OwnId(), i);
    std::sort(by_id.begin(), by_id.end());

    Kept kept;
    kept.found.assign(leaders.size(), false);
    std::vector<size_t> written;
    for (size_t i = 0; i < leaders.size(); ++i) {
        auto found = std::lower_bound(by_id.begin(), by_id.end(), std::pair<std::string_view, size_t>(leaders[i], 0));
        if (found == by_id.end() || found->first != leaders[i]) continue;
        ++kept.counts.leaders;
        kept.found[i] = true;
        if (std::find(written.begin(), written.end(), found->second) != written.end()) continue;
        written.push_back(found->second);
        kept.Leader(items[found->second].bytes);
    }
    for (const ListItem& item : ItemsWithIds(items, held)) kept.pieces.push_back(item.bytes);
    kept.counts.held = static_cast<int32_t>(kept.pieces.size() - written.size());
    return kept;
}

// The list opens with its tag and whitespace after it, so the head the cuts keep (the tag
// and one byte more) ends cleanly.
bool OpensWithSpace(const PawnSection& section) {
    return section.bytes.length > kOpeningTagLength && IsXmlSpace(section.bytes.data[kOpeningTagLength]);
}

// Each entry the cuts take is whitespace around its leader's own item, and no two pieces
// written share a byte: judged on the pieces alone, not on the whole list.
bool CutsAreWholeItems(const Kept& cut, const std::vector<size_t>& leader_of,
                       const std::vector<std::string_view>& leaders, const std::vector<ListItem>& held_items) {
    std::vector<ListItem> written = held_items;
    for (size_t i = 0; i < leader_of.size(); ++i) {
        ListItem item = SoleItem(cut.pieces[i]);
        if (item.bytes.data == nullptr || !item.HasId(leaders[leader_of[i]])) return false;
        written.push_back(item);
    }
    std::sort(written.begin(), written.end(),
              [](const ListItem& x, const ListItem& y) { return x.bytes.data < y.bytes.data; });
    for (size_t i = 1; i < written.size(); ++i)
        if (written[i - 1].Overlaps(written[i])) return false;
    return true;
}

// The entry of some marked leader cannot be delimited.
bool AnyEntryLost(const PawnSection& section, const std::vector<int32_t>& markers, size_t leaders) {
    for (size_t i = 0; i < leaders; ++i)
        if (markers[i] != -1 && FindEntryStart(section.text, markers[i]) == kEntryStartLost) return true;
    return false;
}

// The pieces sorted by where they stand in the file.
std::vector<SaveView> InFileOrder(std::vector<SaveView> pieces) {
    std::sort(pieces.begin(), pieces.end(), [](SaveView x, SaveView y) { return x.data < y.data; });
    return pieces;
}

// Some piece of `sorted` shares a byte with `item`.
bool Covered(const std::vector<SaveView>& sorted, SaveView item) {
    auto after = std::upper_bound(sorted.begin(), sorted.end(), item.data,
                                  [](const uint8_t* at, SaveView piece) { return at < piece.data; });
    if (after != sorted.end() && after->data < item.data + item.length) return true;
    return after != sorted.begin() && (after - 1)->data + (after - 1)->length > item.data;
}

// What one list lost: the own ids of its items that are not written, and of those written.
struct Removed {
    std::vector<std::string_view> ids, kept;
    int32_t count = 0;

    void From(const std::vector<ListItem>& items, const std::vector<SaveView>& written) {
        const std::vector<SaveView> sorted = InFileOrder(written);
        for (const ListItem& item : items) {
            const bool gone = !Covered(sorted, item.bytes);
            count += gone;
            if (item.HasOwnId()) (gone ? ids : kept).push_back(item.OwnId());
        }
    }
    bool Has(std::string_view id) const {
        return std::find(ids.begin(), ids.end(), id) != ids.end() && std::find(kept.begin(), kept.end(), id) == kept.end();
    }
};

// One pruning: what it reads, and the lists' items once they are walked.
class Pruning {
public:
    Pruning(SaveView file, const PawnSection& section, const runtime::DynamicArray* leader_ids,
            const std::vector<std::string_view>& held_ids, const CleanOptions& options)
        : file_(file), section_(section), options_(options), leaders_(LeaderNames(leader_ids)),
          held_(HeldApartFromLeaders(held_ids, leaders_)), forever_(FindKeptForever(file_, section)) {}

    Pruned Run();

private:
    const std::vector<ListItem>& Items() {
        if (!walked_) items_ = TopLevelItems(section_.Content());
        walked_ = true;
        return items_;
    }
    std::vector<int32_t> Markers(bool cuts_may_stand);
    Pruned Finish(Kept kept, bool as_cut);
    void Forget(const Kept& kept, const std::vector<ListItem>* mothballed, const Kept& cleaned,
                std::vector<Splice>& splices, Pruned& out);

    const SaveView file_;
    const PawnSection& section_;
    const CleanOptions options_;
    const std::vector<std::string_view> leaders_, held_;
    const std::vector<KeptForever> forever_;
    std::vector<std::string_view> ids_;  // leaders, held, kept whatever happens: the markers sought
    std::vector<int32_t> markers_;
    std::vector<ListItem> items_;
    bool walked_ = false;
};

// The markers of the leaders, the held pawns and the pawns kept whatever happens. Where the
// cuts cannot stand, the list is walked at once and the walk finds the markers on its way,
// unless they must be looked for in the text before a NUL, as the cuts look for them.
std::vector<int32_t> Pruning::Markers(bool cuts_may_stand) {
    ids_ = leaders_;
    ids_.insert(ids_.end(), held_.begin(), held_.end());
    for (const KeptForever& entry : forever_) ids_.push_back(entry.id);
    if (cuts_may_stand) return FindMarkers(section_.text, ids_);
    MarkerSearch search(section_.text, ids_);
    bool saw_every_tag = false;
    items_ = TopLevelItems(section_.Content(), search, &saw_every_tag);
    walked_ = true;
    const bool nul = section_.text.length != section_.bytes.length;
    return saw_every_tag && !nul ? search.Found() : FindMarkers(section_.text, ids_);
}

Pruned Pruning::Run() {
    // Without whitespace after the opening tag the cuts cannot stand, nor where a NUL hides
    // the rest of the list from them (no game reads such a list). Only an entry that cannot
    // be delimited (error code 01) then still needs them.
    const bool cuts_may_stand = OpensWithSpace(section_) && section_.text.length == section_.bytes.length;
    markers_ = Markers(cuts_may_stand);
    if (!cuts_may_stand && !AnyEntryLost(section_, markers_, leaders_.size()))
        return Finish(KeepWholeItems(Items(), leaders_, held_), false);

    Kept cut;
    std::vector<size_t> leader_of;
    if (!CutLeaderEntries(section_, markers_, leaders_.size(), cut, leader_of)) {
        Pruned lost;
        lost.halt = Halt::kLost;
        lost.notices = std::move(cut.notices);
        return lost;
    }
    // The list is walked item by item only when something needs it: a held id marked in
    // it, or cuts that are not whole items.
    std::vector<ListItem> held_items;
    const auto held_from = markers_.begin() + static_cast<std::ptrdiff_t>(leaders_.size());
    if (std::any_of(held_from, held_from + static_cast<std::ptrdiff_t>(held_.size()), [](int32_t p) { return p != -1; })) {
        held_items = ItemsWithIds(Items(), held_);
        for (const ListItem& item : held_items) cut.pieces.push_back(item.bytes);
        cut.counts.held = static_cast<int32_t>(held_items.size());
    }
    const bool sound = cuts_may_stand && CutsAreWholeItems(cut, leader_of, leaders_, held_items);
    return Finish(sound ? std::move(cut) : KeepWholeItems(Items(), leaders_, held_), sound);
}

// The output: the lists rewritten, the boxes counted over the living and the mothballed
// pawns. After the cuts the head runs through the byte after the opening tag, as they
// always kept it; item by item it ends with the tag.
Pruned Pruning::Finish(Kept kept, bool as_cut) {
    Pruned out;
    const MothballedList mothballed = FindMothballed(file_, section_);
    const bool all_found = std::all_of(kept.found.begin(), kept.found.end(), [](bool f) { return f; });
    std::vector<ListItem> mothballed_items;
    if (mothballed.present && (options_.mothballed || !all_found)) mothballed_items = TopLevelItems(mothballed.content);

    int32_t found = kept.counts.leaders;
    for (size_t i = 0; i < leaders_.size(); ++i) {
        if (kept.found[i]) continue;
        found += std::any_of(mothballed_items.begin(), mothballed_items.end(),
                             [&](const ListItem& item) { return item.HasId(leaders_[i]); });
    }
    const auto total = static_cast<int32_t>(leaders_.size());
    if (found < total) kept.notices.push_back({Notice::Kind::kLeadersMissing, found, total});

    Kept cleaned;
    const bool clean_mothballed = options_.mothballed && mothballed.present;
    if (clean_mothballed) cleaned = KeepWholeItems(mothballed_items, leaders_, held_);

    std::vector<Splice> splices;
    Forget(kept, clean_mothballed ? &mothballed_items : nullptr, cleaned, splices, out);
    const int64_t head = int64_t{section_.a} + kOpeningTagLength - (as_cut ? 0 : 1);
    splices.push_back({head, int64_t{section_.z} - 1, ListPieces(kept.pieces)});
    if (clean_mothballed) splices.push_back({mothballed.from, mothballed.to, ListPieces(cleaned.pieces)});
    out.pieces = OutputPieces(file_, splices);
    if (options_.mothballed && !mothballed.present) out.counts.mothballed_removed = 0;
    out.counts.leaders = kept.counts.leaders;
    out.counts.held = kept.counts.held;
    out.notices = std::move(kept.notices);
    return out;
}

// The entries of the pawns kept whatever happens whose pawn the run removed go with it
// (otherwise the game finds them empty at every load), and the pawns removed are counted
// where asked for. A pawn counts as removed when an item of its own id is dropped and none
// is written; the list is walked for that only when one of these ids is marked in it.
void Pruning::Forget(const Kept& kept, const std::vector<ListItem>* mothballed, const Kept& cleaned,
                     std::vector<Splice>& splices, Pruned& out) {
    const auto forever_from = markers_.begin() + static_cast<std::ptrdiff_t>(leaders_.size() + held_.size());
    const bool marked = std::any_of(forever_from, markers_.end(), [](int32_t p) { return p != -1; });
    Removed living, asleep;
    if (marked || walked_ || options_.count_removed) living.From(Items(), kept.pieces);
    if (mothballed != nullptr) asleep.From(*mothballed, cleaned.pieces);
    if (options_.count_removed) out.counts.living_removed = living.count;
    if (mothballed != nullptr) out.counts.mothballed_removed = asleep.count;
    for (const KeptForever& entry : forever_) {
        if (living.Has(entry.id) || asleep.Has(entry.id)) splices.push_back({entry.from, entry.to, {}});
    }
}

}  // namespace

bool PawnSection::Present() const {
    return a > 0 && z > a && bytes.length >= kOpeningTagLength &&
           std::memcmp(bytes.data, kOpeningTag, kOpeningTagLength) == 0;
}

SaveView PawnSection::Content() const { return bytes.MidBytes(kOpeningTagLength + 1, int64_t{z} - a - kOpeningTagLength); }

PawnSection CutPawnSection(SaveView whole) {
    PawnSection s{};
    s.a = whole.Find("<pawnsAlive");
    s.z = whole.Find("</pawnsAlive");
    s.bytes = whole.MidBytes(s.a, int64_t{s.z} - s.a + kClosingTagLength);
    s.text = s.bytes.AsText();
    return s;
}

Pruned PrunePawnList(SaveView file, const PawnSection& section, const runtime::DynamicArray* leader_ids,
                     const std::vector<std::string_view>& held_ids, const CleanOptions& options) {
    return Pruning(file, section, leader_ids, held_ids, options).Run();
}

}  // namespace cleaner
