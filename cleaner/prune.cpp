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

    void Leader(SaveView piece) {
        pieces.push_back(piece);
        if (ShortEntry(piece)) notices.push_back({Notice::Kind::kShortEntry, counts.leaders});
    }
    void LeadersMissing(size_t total) {
        const auto n = static_cast<int32_t>(total);
        if (counts.leaders < n) notices.push_back({Notice::Kind::kLeadersMissing, counts.leaders, n});
    }
};

// The leaders' entries as the text positions cut them, in leader order: from the end of the
// "</li>" before each marker through the "</li>" the end scan stops at. False when an
// entry cannot be delimited.
bool CutLeaderEntries(const PawnSection& section, const std::vector<int32_t>& markers, size_t leaders, Kept& kept,
                      std::vector<size_t>& leader_of) {
    for (size_t i = 0; i < leaders; ++i) {
        if (markers[i] == -1) continue;
        int32_t before = FindEntryStart(section.text, markers[i]);
        if (before == kEntryStartLost) return false;
        int64_t start = int64_t{before} + kItemEndLength;
        int32_t end = FindEntryEnd(section.text, static_cast<int32_t>(start));
        ++kept.counts.leaders;
        kept.Leader(section.bytes.MidBytes(start, int64_t{end} + kItemEndLength - start));
        leader_of.push_back(i);
    }
    return true;
}

// Each leader's own item, once, in leader order (a leader counts as found as often as it is
// named), then the held items in list order.
Kept KeepWholeItems(const std::vector<ListItem>& items, const std::vector<std::string_view>& leaders,
                    const std::vector<std::string_view>& held) {
    std::vector<std::pair<std::string_view, size_t>> by_id;  // the first item of each own id
    for (size_t i = 0; i < items.size(); ++i) {
        const SaveView id = items[i].own_id;
        if (id.data != nullptr)
            by_id.emplace_back(std::string_view(reinterpret_cast<const char*>(id.data), static_cast<size_t>(id.length)), i);
    }
    std::sort(by_id.begin(), by_id.end());

    Kept kept;
    std::vector<size_t> written;
    for (std::string_view leader : leaders) {
        auto found = std::lower_bound(by_id.begin(), by_id.end(), std::pair<std::string_view, size_t>(leader, 0));
        if (found == by_id.end() || found->first != leader) continue;
        ++kept.counts.leaders;
        if (std::find(written.begin(), written.end(), found->second) != written.end()) continue;
        written.push_back(found->second);
        kept.Leader(items[found->second].bytes);
    }
    kept.LeadersMissing(leaders.size());
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

// The output of what is kept: after the cuts, the head runs through the byte after the
// opening tag, as they always kept it; item by item it ends with the tag.
Pruned Written(runtime::ConstByteSet file, const PawnSection& section, bool as_cut, Kept kept) {
    Pruned out;
    const int64_t head = int64_t{section.a} + kOpeningTagLength - (as_cut ? 0 : 1);
    out.bytes = AssembleOutput(SaveView::Of(file), head, kept.pieces, section.z);
    out.counts = kept.counts;
    out.notices = std::move(kept.notices);
    return out;
}

}  // namespace

bool PawnSection::Present() const {
    return a > 0 && z > a && bytes.length >= kOpeningTagLength &&
           std::memcmp(bytes.data, kOpeningTag, kOpeningTagLength) == 0;
}

SaveView PawnSection::Content() const { return bytes.MidBytes(kOpeningTagLength + 1, int64_t{z} - a - kOpeningTagLength); }

PawnSection CutPawnSection(runtime::ConstByteSet file) {
    SaveView whole = SaveView::Of(file);
    PawnSection s{};
    s.a = whole.Find("<pawnsAlive");
    s.z = whole.Find("</pawnsAlive");
    s.bytes = whole.MidBytes(s.a, int64_t{s.z} - s.a + kClosingTagLength);
    s.text = s.bytes.AsText();
    return s;
}

Pruned PrunePawnList(runtime::ConstByteSet file, const PawnSection& section, const runtime::DynamicArray* leader_ids,
                     const std::vector<std::string_view>& held_ids) {
    const std::vector<std::string_view> leaders = LeaderNames(leader_ids);
    const std::vector<std::string_view> held = HeldApartFromLeaders(held_ids, leaders);
    std::vector<std::string_view> ids = leaders;
    ids.insert(ids.end(), held.begin(), held.end());

    // The list is walked item by item only when something needs it: a held id marked in it,
    // or cuts that are not whole items.
    std::vector<ListItem> items;
    bool walked = false;
    auto walk = [&]() -> const std::vector<ListItem>& {
        if (!walked) items = TopLevelItems(section.Content());
        walked = true;
        return items;
    };
    // Without whitespace after the opening tag the cuts cannot stand, nor where a NUL hides
    // the rest of the list from them (no game reads such a list): the list is walked at
    // once, and the walk finds the markers on its way unless they must be looked for in the
    // text before the NUL, as the cuts look for them. Only an entry that cannot be
    // delimited (error code 01) still needs the cuts.
    const bool nul = section.text.length != section.bytes.length;
    const bool cuts_may_stand = OpensWithSpace(section) && !nul;
    std::vector<int32_t> markers;
    if (cuts_may_stand) {
        markers = FindMarkers(section.text, ids);
    } else {
        MarkerSearch search(section.text, ids);
        bool saw_every_tag = false;
        items = TopLevelItems(section.Content(), search, &saw_every_tag);
        walked = true;
        markers = saw_every_tag && !nul ? search.Found() : FindMarkers(section.text, ids);
        if (!AnyEntryLost(section, markers, leaders.size())) return Written(file, section, false, KeepWholeItems(items, leaders, held));
    }

    Kept cut;
    std::vector<size_t> leader_of;
    if (!CutLeaderEntries(section, markers, leaders.size(), cut, leader_of)) {
        Pruned lost;
        lost.halt = Halt::kLost;
        lost.notices = std::move(cut.notices);
        return lost;
    }
    cut.LeadersMissing(leaders.size());

    std::vector<ListItem> held_items;
    if (std::any_of(markers.begin() + static_cast<std::ptrdiff_t>(leaders.size()), markers.end(),
                    [](int32_t p) { return p != -1; })) {
        held_items = ItemsWithIds(walk(), held);
        for (const ListItem& item : held_items) cut.pieces.push_back(item.bytes);
        cut.counts.held = static_cast<int32_t>(held_items.size());
    }
    const bool sound = CutsAreWholeItems(cut, leader_of, leaders, held_items);
    return Written(file, section, sound, sound ? std::move(cut) : KeepWholeItems(walk(), leaders, held));
}

}  // namespace cleaner
