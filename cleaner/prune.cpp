// World-pawn pruning over the section seen in place.
//
// Every search here gives the answer a plain search of the section text would give; the
// speed comes from not searching what is already known: markers are found in one pass over
// the section, the step back to an entry's start is one backward look, and the scan for an
// entry's end remembers its last answers.
#include "cleaner/prune.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cleaner/held.h"
#include "runtime/files.h"
#include "runtime/format.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace cleaner {

using runtime::ArgList;
using runtime::OfInt32;
using runtime::OfText;
using runtime::OwnedText;

namespace {

constexpr int32_t kClosingTagLength = 13;   // "</pawnsAlive>"
constexpr int32_t kHeadLength = 12;         // "<pawnsAlive>", and the byte after it is kept too
constexpr int32_t kItemEndLength = 5;       // "</li>"
constexpr int32_t kStepLimit = 10000;       // how far back an entry's start is looked for
constexpr int32_t kFirstEntryStart = 12;    // the start taken when there is nothing before
constexpr int32_t kFirstOpenOffset = 50;    // past the entry's own "<li>"
constexpr int32_t kFirstClassOffset = 80;   // where the first "<li Class" is looked for
constexpr int32_t kOpenEndedOffset = 17;    // R = Slen - 17: the entry runs to the list's end
constexpr int32_t kShortEntry = 300;

constexpr char kEntrySeparator[] = "\r\n\t\t\t\t\t";
constexpr char kListEnd[] = "\r\n\t\t\t\t<";
constexpr int32_t kSeparatorLength = 7;

// One fragment, found again and again in the section. It remembers its last answer and the
// answer from position 1, so a scan that walks forward, or starts over at the beginning,
// searches no byte twice.
class Finder {
public:
    template <size_t N>
    Finder(SaveView text, const char (&sought)[N])
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

    SaveView text_;
    const uint8_t* sought_;
    int32_t m_;
    Answer first_{0, 0};
    Answer last_{0, 0};
};

// Where each id's marker "<id>" + id + "</id>" first stands in the section, -1 when it does
// not. One pass over the "<id>" tags: an id with no "</id>" inside it is marked at q exactly
// when the text from q + 4 to the first "</id>" after it is that id ("</id>" has no part that
// is also its start, so no earlier "</id>" can overlap the marker's end).
std::vector<int32_t> FindMarkers(SaveView section, const std::vector<std::string_view>& ids) {
    std::vector<int32_t> found(ids.size(), -1);
    std::vector<std::pair<std::string_view, size_t>> wanted;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i].find("</id>") == std::string_view::npos) {
            wanted.emplace_back(ids[i], i);
            continue;
        }
        std::string marker = "<id>" + std::string(ids[i]) + "</id>";
        found[i] = section.Find(reinterpret_cast<const uint8_t*>(marker.data()),
                                static_cast<int32_t>(marker.size()), 1);
    }
    std::sort(wanted.begin(), wanted.end());
    size_t unmarked = wanted.size();

    int32_t end_tag = 0;
    for (int32_t q = section.Find("<id>"); q != -1 && unmarked > 0; q = section.Find("<id>", q + 1)) {
        int32_t id_start = q + 4;
        if (end_tag < id_start) end_tag = section.Find("</id>", id_start);
        if (end_tag == -1) break;
        std::string_view candidate(reinterpret_cast<const char*>(section.data) + (id_start - 1),
                                   static_cast<size_t>(end_tag - id_start));
        auto match = std::lower_bound(wanted.begin(), wanted.end(),
                                      std::pair<std::string_view, size_t>(candidate, 0));
        for (; match != wanted.end() && match->first == candidate; ++match) {
            if (found[match->second] != -1) break;  // equal ids are marked together
            found[match->second] = q;
            --unmarked;
        }
    }
    return found;
}

std::vector<std::string_view> LeaderNames(const runtime::DynamicArray* leader_ids) {
    runtime::ArrayView ids = runtime::ArrayElements(leader_ids);
    std::vector<std::string_view> names;
    for (int32_t i = 0; i < ids.count; ++i) {
        runtime::Text id = runtime::TextMemberAt(ids.first + i * runtime::kPointerMemberSize);
        names.push_back(id == nullptr ? std::string_view() : std::string_view(id));
    }
    return names;
}

// The scan state of FindEntryEnd at the start of a pass, for telling when a pass repeats
// an earlier one. Once the first "<li Class" has been looked for, the depth never grows
// past 1 and only whether it is above 0 changes what the steps do.
struct ScanState {
    int32_t e, o, k;
    bool deep, counted;
    bool operator==(const ScanState&) const = default;
};

bool ShortEntry(SaveView entry) {
    int32_t n = std::min(entry.length, kShortEntry);
    return n < kShortEntry || std::memchr(entry.data, 0, static_cast<size_t>(n)) != nullptr;
}

void ShowShortEntry(int32_t taken) {
    OwnedText number(runtime::ToText({OfInt32(taken)}));
    OwnedText text(runtime::ConcatText({"首领数据获取第：", number.get(), "获取出错"}));
    runtime::ShowMessage({OfText(text.get())});
}

void ShowLeadersMissing(int32_t total, int32_t taken) {
    OwnedText n(runtime::ToText({OfInt32(total)}));
    OwnedText m(runtime::ToText({OfInt32(taken)}));
    OwnedText text(runtime::ConcatText({"总首领数：", n.get(), "\r\n成功获取的首领数：", m.get(),
                                          "\r\n不影响游戏正常运行\r\n请联系作者修复！"}));
    runtime::ShowMessage({OfText(text.get()), OfInt32(0), OfText("提示：首领信息缺失")});
}

}  // namespace

PawnSection CutPawnSection(runtime::ConstByteSet file) {
    SaveView whole = SaveView::Of(file);
    PawnSection s{};
    s.a = whole.Find("<pawnsAlive");
    s.z = whole.Find("</pawnsAlive");
    s.bytes = whole.MidBytes(s.a, int64_t{s.z} - s.a + kClosingTagLength);
    s.text = s.bytes.AsText();
    return s;
}

// Stepping the start of a forward search back from p one position at a time, the first
// start whose search lands at or before p is the start of the nearest "</li>" before p; the
// 10001st step ends the walk whatever it found, and a start below 0 gives 12. So the answer
// is that "</li>" when it begins at p - 10000 or later, else 12 for p up to 10000, else lost.
int32_t FindEntryStart(SaveView section, int32_t p) {
    // The first search, from p, lands at or before p only when a "</li>" begins at p.
    const int64_t last_fitting = int64_t{section.length} - kItemEndLength + 1;
    auto item_end_at = [&section](int64_t at) {
        return std::memcmp(section.data + (at - 1), "</li>", kItemEndLength) == 0;
    };
    if (p >= 1 && p <= last_fitting && item_end_at(p)) return p;
    const int64_t lowest = std::max<int64_t>(1, int64_t{p} - kStepLimit);
    for (int64_t at = std::min<int64_t>(int64_t{p} - 1, last_fitting); at >= lowest; --at) {
        if (item_end_at(at)) return static_cast<int32_t>(at);
    }
    return p <= kStepLimit ? kFirstEntryStart : kEntryStartLost;
}

namespace {

// The walk of FindEntryEnd, its state held between its steps.
class EntryEndScan {
public:
    EntryEndScan(SaveView section, int32_t e0)
        : e0_(e0), open_ended_(section.length - kOpenEndedOffset), pass_limit_(8 * int64_t{section.length} + 64),
          closing_(section, "</li>"), opening_(section, "<li>"), item_(section, "<li Class"), gt_(section, ">"),
          self_closing_(section, "/>"), e_(e0) {}

    int32_t Run() {
        for (int64_t pass = 0;; ++pass) {
            if (Repeats(pass)) return open_ended_;
            e_ = closing_.From(int64_t{e_} + 1);
            o_ = opening_.From(pass == 0 ? int64_t{e0_} + kFirstOpenOffset + 1 : int64_t{o_} + 1);
            if (o_ > e_ && !Unmatched()) return open_ended_;
            if (!(o_ < e_ || d_ > 0)) return e_;
        }
    }

private:
    // A pass that repeats an earlier one repeats for ever: Brent's cycle finding, with a
    // bound on the passes (many times what any list needs) as a last guard.
    bool Repeats(int64_t pass) {
        ScanState now{e_, o_, k_, d_ > 0, counted_};
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
        if (e_ == -1 && d_ > 0) return false;
        if (first) {
            k_ = item_.From(int64_t{e0_} + kFirstClassOffset);
        } else {
            --d_;
            k_ = item_.From(int64_t{k_} + 1);
        }
        return PassClassItems();
    }

    // Steps over the class items before e that close themselves; one closed by ">" has its
    // own "</li>", one more to pass.
    bool PassClassItems() {
        LookAtItem();
        int rounds = k_ == -1 ? 1 : 0;
        while (k_ < e_) {
            if (g_ < h_) {
                e_ = closing_.From(int64_t{e_} + 1);
                ++d_;
                return true;
            }
            k_ = item_.From(int64_t{k_} + 1);
            if (k_ == -1 && ++rounds == 2) return false;  // round every class item
            LookAtItem();
        }
        return true;
    }

    void LookAtItem() {
        g_ = gt_.From(int64_t{k_} + 1);
        h_ = self_closing_.From(int64_t{k_} + 1);
    }

    const int32_t e0_, open_ended_;
    const int64_t pass_limit_;
    Finder closing_, opening_, item_, gt_, self_closing_;
    int32_t e_, o_ = 0, k_ = 0, g_ = 0, h_ = 0;
    int64_t d_ = 0;
    bool counted_ = false;
    ScanState saved_{};
    int64_t power_ = 1, since_saved_ = 0;
};

}  // namespace

// The closing tags after e0 and the opening tags after e0 + 50 are walked in step, with the
// "<li Class" items accounted for apart. A search that finds nothing gives -1, and the next
// search from there starts over at position 1; so the walk can come back to a pass it has
// made before, or, inside the class-item loop, go round the section's class items for ever.
// Both are caught here, and then the entry is taken through the end of the list (R =
// Slen - 17), as the walk itself does when the closing tags run out with the depth above 0.
// On every input where the walk ends by itself, the answer is the walk's own.
int32_t FindEntryEnd(SaveView section, int32_t e0) { return EntryEndScan(section, e0).Run(); }

namespace {

// The held ids that are not a leader's: a leader's entry is taken by its own rules.
std::vector<std::string_view> HeldApartFromLeaders(const std::vector<std::string_view>& held,
                                                   std::vector<std::string_view> leaders) {
    std::sort(leaders.begin(), leaders.end());
    std::vector<std::string_view> apart;
    std::set_difference(held.begin(), held.end(), leaders.begin(), leaders.end(), std::back_inserter(apart));
    return apart;
}

// The pieces of the output's list and the parts of the section the leaders' entries cover.
struct Kept {
    std::vector<SaveView> pieces;
    std::vector<ListItem> covered;
};

// Each marked leader's entry, in leader order, with the short-entry box; the number taken,
// or -1 when an entry cannot be delimited.
int32_t TakeLeaderEntries(const PawnSection& section, const std::vector<int32_t>& markers, size_t leaders,
                          Kept& kept) {
    int32_t taken = 0;
    for (size_t i = 0; i < leaders; ++i) {
        if (markers[i] == -1) continue;
        int32_t b = FindEntryStart(section.text, markers[i]);
        if (b == kEntryStartLost) return -1;
        int64_t e0 = int64_t{b} + kItemEndLength;
        int32_t r = FindEntryEnd(section.text, static_cast<int32_t>(e0));
        SaveView entry = section.bytes.MidBytes(e0, int64_t{r} + kItemEndLength - e0);
        kept.pieces.push_back(entry);
        if (entry.length > 0) kept.covered.push_back({static_cast<int32_t>(e0), static_cast<int32_t>(e0 + entry.length)});
        ++taken;
        if (ShortEntry(entry)) ShowShortEntry(taken);
    }
    return taken;
}

// The held items that no leader's entry covers, in list order. Only a held id that is
// marked somewhere can be an item's own id: the walk over the list is made only then.
void KeepHeldItems(const PawnSection& section, const std::vector<std::string_view>& held, bool marked,
                   Kept& kept) {
    if (!marked) return;
    for (ListItem item : FindHeldItems(section.text, held)) {
        bool covered = std::any_of(kept.covered.begin(), kept.covered.end(),
                                   [item](ListItem t) { return t.start < item.end && item.start < t.end; });
        if (!covered) kept.pieces.push_back(section.bytes.MidBytes(item.start, item.end - item.start));
    }
}

// The output, assembled once: the head through the byte after "<pawnsAlive>", each piece
// behind its separator, the list's end, and the tail from the "/" of "</pawnsAlive>".
runtime::OwnedBytes Assemble(SaveView whole, const PawnSection& section, const std::vector<SaveView>& pieces) {
    SaveView head = whole.MidBytes(1, int64_t{section.a} + kHeadLength);
    SaveView tail = whole.MidBytes(int64_t{section.z} + 1, int64_t{whole.length} - section.z);
    int64_t size = int64_t{head.length} + kSeparatorLength + tail.length;
    for (const SaveView& piece : pieces) size += kSeparatorLength + piece.length;
    if (size > INT32_MAX - 8) runtime::OutOfMemory();

    runtime::OwnedBytes out(runtime::NewByteSet(static_cast<int32_t>(size)));
    uint8_t* at = runtime::BytesData(out.get());
    auto put = [&at](const void* bytes, int32_t n) {
        if (n > 0) std::memcpy(at, bytes, static_cast<size_t>(n));
        at += n;
    };
    put(head.data, head.length);
    for (const SaveView& piece : pieces) {
        put(kEntrySeparator, kSeparatorLength);
        put(piece.data, piece.length);
    }
    put(kListEnd, kSeparatorLength);
    put(tail.data, tail.length);
    return out;
}

}  // namespace

runtime::OwnedBytes PrunePawnList(runtime::ConstByteSet file, const PawnSection& section,
                                  const runtime::DynamicArray* leader_ids,
                                  const std::vector<std::string_view>& held_ids, bool* lost, PruneCounts* counts) {
    const std::vector<std::string_view> leaders = LeaderNames(leader_ids);
    const std::vector<std::string_view> held = HeldApartFromLeaders(held_ids, leaders);
    std::vector<std::string_view> ids = leaders;
    ids.insert(ids.end(), held.begin(), held.end());
    const std::vector<int32_t> markers = FindMarkers(section.text, ids);

    Kept kept;
    const int32_t taken = TakeLeaderEntries(section, markers, leaders.size(), kept);
    *lost = taken == -1;
    if (*lost) return nullptr;
    const auto total = static_cast<int32_t>(leaders.size());
    if (taken < total) ShowLeadersMissing(total, taken);
    KeepHeldItems(section, held, std::any_of(markers.begin() + total, markers.end(), [](int32_t p) { return p != -1; }),
                  kept);
    if (counts != nullptr) *counts = {taken, static_cast<int32_t>(kept.pieces.size()) - taken};
    return Assemble(SaveView::Of(file), section, kept.pieces);
}

}  // namespace cleaner
