// The index: the rules that read the save's structure as it streams past. A reader names to
// them the tags down to the level they ask for (NamedLevel, from the root), the start tags of
// the names they ask for wherever these stand (WantsIds), the text after a named tag where they want it,
// and every leaf text that may be a reference where they want those (WantsReferences).
// The Indexer here keeps the regions, the lists of world pawns, the leaders and the pawns
// held; the rules with a state of their own (a leaf's text, the root's end, the leaders'
// markers, the extra items and their names) are classes of index_rules.h it calls.
#include "cleaner/save_index.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#endif
#endif
#if !defined(ASAN_POISON_MEMORY_REGION)
#define ASAN_POISON_MEMORY_REGION(at, n) ((void)(at), (void)(n))
#define ASAN_UNPOISON_MEMORY_REGION(at, n) ((void)(at), (void)(n))
#endif

#include <algorithm>
#include <climits>
#include <cstring>

#include "cleaner/events.h"
#include "cleaner/index_rules.h"
#include "cleaner/places.h"
#include "cleaner/texts.h"
#include "cleaner/tokenizer.h"
#include "cleaner/walk.h"

namespace cleaner {

namespace {

constexpr std::string_view kReference = FormOf(Form::kThing);
constexpr size_t kReferenceLength = kReference.size();
constexpr int kEveryLevel = INT_MAX;
constexpr uint8_t kNoRow = 0xFF;

// An open element the index cares about; the others have no frame.
struct Frame {
    Role role;
    uint8_t node;    // its row of kPlaces (kNoRow for a kidnapped list); kExtraId: its Wanted row
    int level;       // from the root: the document 0, the root element 1
    ItemList* list;  // kList, kItem: the list
    int64_t begin;   // the start tag's offset
    bool plain;      // the start tag is spelled exactly "<" + name + ">"
    bool id_seen;    // kItem: an "id" child has opened
};

// A region ends only at its own end tag.
bool ClosedByName(Role role) {
    return role == Role::kPlace || role == Role::kFactions || role == Role::kReferences || role == Role::kList ||
           role == Role::kExtraList;
}

class Indexer {
public:
    Indexer(SaveIndex& index, bool extras) : index_(index), extras_(extras), markers_(index), extra_items_(index) {
        stack_.push_back(Frame{Role::kPlace, 0, 0, nullptr, 0, false, false});
    }

    int NamedLevel() const { return named_level_; }
    Ids WantsIds() const {
        if (extra_items_.open()) return Ids::kExtraIds;
        if (markers_.Looking() && living_items_ > 0) return Ids::kId;
        return factions_depth_ > 0 ? Ids::kFactionNames : Ids::kNone;
    }
    bool WantsReferences() const { return extras_ || references_depth_ > 0; }
    bool WantsText() const { return wants_text_; }
    bool MayWantId(std::string_view raw) const { return markers_.MayWant(raw); }

    // A tag of the element at `level` (an end tag's: the element it ends).
    void Tag(const cleaner::Tag& tag, int level) {
        text_.AtTag();
        root_.Tag(tag);
        if (tag.kind == Tag::kEnd) {
            End(tag, level);
        } else if (const Role role = RoleOf(tag, stack_.back(), level); role == Role::kOther) {
            text_.NotLeaf();
        } else {
            Open(tag, role, level);
            if (tag.kind == Tag::kEmpty) Close(tag);
        }
        const int depth = tag.kind == Tag::kStart ? level : level - 1;
        const Frame& top = stack_.back();
        named_level_ = NamedLevelIn(top);
        wants_text_ = top.level == depth && WantsTextIn(top);
    }

    void Text(int64_t at, const uint8_t* bytes, size_t n) {
        // Right inside a list of extra items, a text is the whitespace before the next of them.
        if (stack_.back().role == Role::kExtraList) return extra_items_.Space(at, bytes, n);
        text_.Add(at, bytes, n);
    }

    // A leaf text from `at` (its first byte that is no blank), as it stands: a reference the
    // options' rule reads, and in a region of held pawns a pawn held.
    void ReferenceText(int64_t at, std::string_view raw) {
        const std::string decoded = raw.find('&') == std::string_view::npos ? std::string() : Decoded(raw);
        const std::string_view text = Trimmed(decoded.empty() ? raw : std::string_view(decoded));
        if (extras_ && IsReferenceForm(text)) index_.references.push_back({ReferenceName(text), static_cast<int32_t>(at)});
        if (references_depth_ > 0 && IsReference(text) && text.size() > kReferenceLength)
            index_.held.push_back(index_.Keep(text.substr(kReferenceLength)));
    }

    bool CutShort() const { return root_.CutShort(); }

private:
    // Tags down to this level are named inside `top`: a place's children; the children of a
    // list and of an item until its own id; everything inside the elements whose texts are
    // wanted; only its own end tag inside a region of held pawns, whose references come as
    // leaf texts, inside the faction section and inside an extra item, whose leaders,
    // kidnapped lists and names come as the elements asked for wherever they stand.
    int NamedLevelIn(const Frame& top) const {
        switch (top.role) {
            case Role::kPlace:
            case Role::kList:
            case Role::kExtraList: return top.level + 1;
            case Role::kItem:
                if (top.list == &index_.kept_forever) return kEveryLevel;
                return top.id_seen ? top.level : top.level + 1;
            case Role::kReferences: return factions_depth_ > 0 ? kEveryLevel : top.level;
            case Role::kExtraItem:
            case Role::kFactions: return top.level;
            default: return kEveryLevel;
        }
    }

    bool WantsTextIn(const Frame& top) const {
        switch (top.role) {
            case Role::kLeader:
            case Role::kOwnId:
            case Role::kExtraId:
            case Role::kExtraList: return true;
            case Role::kId: return markers_.Looking();
            case Role::kItem: return top.list == &index_.kept_forever;
            default: return false;
        }
    }

    // The place in the table of `row`'s child named `name`, when it may open now.
    uint8_t PlaceOf(uint8_t row, std::string_view name) const {
        for (uint8_t i = row + 1; i < std::size(kPlaces); ++i) {
            const Place& place = kPlaces[i];
            if (place.parent != row || place.name != name || (place.extra && !extras_)) continue;
            switch (i) {
                case kKeptForever: return !index_.living.open.Present() && !index_.kept_forever.open.Present() ? i : kNoRow;
                case kLiving: return !index_.living.open.Present() ? i : kNoRow;
                case kMothballed: return index_.living.open.Present() && !index_.mothballed.open.Present() ? i : kNoRow;
                case kFactionsRow: return !index_.factions.Present() ? i : kNoRow;
                case kWorldObjectsRow: return !world_objects_ ? i : kNoRow;
                case kQuestsRow: return !quests_ ? i : kNoRow;
                default: return i;
            }
        }
        return kNoRow;
    }

    // What the element opening now at `level` is, inside `top`.
    Role RoleOf(const cleaner::Tag& tag, const Frame& top, int level) {
        const std::string_view name = tag.long_name ? std::string_view() : tag.name;
        const bool child = top.level == level - 1;
        if (child && top.role == Role::kList) return Role::kItem;
        if (child && top.role == Role::kExtraList) {
            const Place& list = kPlaces[top.node];
            if (name != list.item || (list.kind == Extra::kFilth && !IsFilth(tag.attributes))) return Role::kOther;
            pending_ = top.node;
            return Role::kExtraItem;
        }
        if (child && top.role == Role::kPlace) {
            pending_ = PlaceOf(top.node, name);
            if (pending_ != kNoRow) return kPlaces[pending_].role;
        }
        const Wanted wanted = WantedOf(name);
        if (factions_depth_ > 0 && wanted == Wanted::kLeader) return Role::kLeader;
        if (factions_depth_ > 0 && wanted == Wanted::kKidnapped) return pending_ = kNoRow, Role::kReferences;
        if (extra_items_.open() && AskedIn(wanted, Ids::kExtraIds))
            return pending_ = static_cast<uint8_t>(wanted), Role::kExtraId;
        if (wanted != Wanted::kId || open_items_ == 0) return Role::kOther;
        if (child && top.role == Role::kItem && !top.id_seen && top.list != &index_.kept_forever) return Role::kOwnId;
        return living_items_ > 0 ? Role::kId : Role::kOther;
    }

    void Open(const cleaner::Tag& tag, Role role, int level) {
        const auto plain = tag.end - tag.begin == static_cast<int64_t>(tag.name.size()) + 2;
        Frame frame{role, pending_, level, nullptr, tag.begin, plain, false};
        Frame& top = stack_.back();
        switch (role) {
            case Role::kExtraItem: extra_items_.Open(tag, pending_); break;
            case Role::kExtraId:
                extra_items_.OpenName(static_cast<Wanted>(pending_), top.role == Role::kExtraItem && top.level == level - 1);
                break;
            case Role::kFactions:
                index_.factions.begin = tag.begin;
                ++factions_depth_;
                break;
            case Role::kReferences:
                world_objects_ = world_objects_ || pending_ == kWorldObjectsRow;
                quests_ = quests_ || pending_ == kQuestsRow;
                ++references_depth_;
                break;
            case Role::kList:
                frame.list = pending_ == kLiving ? &index_.living : pending_ == kMothballed ? &index_.mothballed : &index_.kept_forever;
                frame.list->open = {tag.begin, tag.end};
                if (frame.list == &index_.living) markers_.Start();
                break;
            case Role::kItem:
                frame.list = top.list;
                frame.list->items.push_back(Item{static_cast<int32_t>(tag.begin), -1, 0, 0, false});
                living_items_ += frame.list == &index_.living;
                ++open_items_;
                break;
            case Role::kOwnId: top.id_seen = true; break;
            default: break;
        }
        stack_.push_back(frame);
        text_.NotLeaf();
    }

    // An end tag of the element at `level`: the frames above it were left open (their own end
    // tags missing); a region closes only at its own end tag, and is left open by another.
    void End(const cleaner::Tag& tag, int level) {
        if (level <= 0) return text_.NotLeaf();  // outside the root
        while (stack_.back().level > level) LeftOpen();
        const Frame& top = stack_.back();
        if (top.level < level) return text_.NotLeaf();  // an element of no concern
        const std::string_view name = top.node == kNoRow ? NameOf(Wanted::kKidnapped) : kPlaces[top.node].name;
        if (ClosedByName(top.role) && (tag.long_name || tag.name != name)) LeftOpen();
        else Close(tag);
    }

    // A region whose end tag is missing or misspelt: a list or a section never closed is none.
    void LeftOpen() {
        const Frame frame = stack_.back();
        stack_.pop_back();
        text_.NotLeaf();
        if (frame.role == Role::kFactions) {
            --factions_depth_;
            index_.leaders.clear();
        } else if (frame.role == Role::kReferences) {
            --references_depth_;
        }
    }

    void Close(const cleaner::Tag& tag) {
        const Frame frame = stack_.back();
        stack_.pop_back();
        std::string_view text;
        const bool leaf_text = text_.Take(&text);
        switch (frame.role) {
            case Role::kFactions:
                index_.factions.end = tag.end;
                --factions_depth_;
                break;
            case Role::kLeader:
                if (IsReference(text)) index_.leaders.push_back(index_.Keep(text.substr(kReferenceLength)));
                break;
            case Role::kReferences: --references_depth_; break;
            case Role::kList: frame.list->close = {tag.kind == Tag::kEmpty ? -1 : tag.begin, tag.end}; break;
            case Role::kItem: {
                Item& item = frame.list->items.back();
                item.end = static_cast<int32_t>(tag.end);
                if (frame.list == &index_.kept_forever && IsReference(text)) SetId(item, text.substr(kReferenceLength));
                living_items_ -= frame.list == &index_.living;
                --open_items_;
                break;
            }
            case Role::kOwnId:
                SetId(stack_.back().list->items.back(), text);
                Marker(frame, tag, text);
                break;
            case Role::kId: Marker(frame, tag, text); break;
            case Role::kExtraId:
                if (leaf_text) extra_items_.Names(static_cast<Wanted>(frame.node), text);
                break;
            case Role::kExtraItem: extra_items_.Close(tag); break;
            default: break;
        }
    }

    static bool IsReference(std::string_view text) { return text.substr(0, kReferenceLength) == kReference; }

    void SetId(Item& item, std::string_view id) {
        const IdRef ref = index_.Keep(id);
        item.id = ref.at;
        item.id_length = ref.length;
        item.has_id = true;
    }

    // An "id" element in an item of the living list: the first with each leader's id is that
    // leader's marker, where it is spelled "<id>" + id + "</id>".
    void Marker(const Frame& frame, const cleaner::Tag& tag, std::string_view text) {
        if (living_items_ == 0) return;
        markers_.Found(frame.begin, text, frame.plain && tag.kind == Tag::kEnd && tag.end - tag.begin == 5 && text_.joined());
    }

    SaveIndex& index_;
    const bool extras_;
    std::vector<Frame> stack_;
    int named_level_ = 1;
    bool wants_text_ = false;
    uint8_t pending_ = 0;  // RoleOf's row or Wanted for the frame it opens
    int factions_depth_ = 0, references_depth_ = 0, open_items_ = 0, living_items_ = 0;
    bool world_objects_ = false, quests_ = false;
    LeafText text_;
    RootEnd root_;
    LeaderMarkers markers_;
    ExtraItems extra_items_;
};

// Items the file ended inside of are no items.
void DropOpenItems(ItemList& list) {
    while (!list.items.empty() && list.items.back().end < 0) list.items.pop_back();
}

uint64_t Fnv(uint64_t hash, std::string_view bytes) {
    for (char c : bytes) hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3u;
    return hash;
}

}  // namespace

uint64_t NameOf(std::string_view prefix, std::string_view id) { return Fnv(Fnv(0xcbf29ce484222325u, prefix), id); }

uint64_t ReferenceName(std::string_view text) {
    constexpr std::string_view kLogEntry = FormOf(Form::kLogEntry);
    if (text.substr(0, kLogEntry.size()) == kLogEntry) return NameOf(kLogEntry, text.substr(text.rfind('_') + 1));
    return NameOf(text, {});
}

IdRef SaveIndex::Keep(std::string_view id) {
    const IdRef ref{static_cast<uint32_t>(arena_.size()), static_cast<uint32_t>(id.size())};
    arena_.append(id);
    return ref;
}

namespace {

// Whether a file begins as XML does: with "<", after a byte-order mark and blanks (a zip, a
// picture or a text renamed does not). Fed the file's bytes from its start until it knows.
class Lead {
public:
    void Feed(const uint8_t* p, size_t n) {
        static constexpr uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
        for (size_t i = 0; i < n && !known_; ++i, ++offset_) {
            if (offset_ < 3 && mark_ == offset_ && p[i] == kMark[offset_]) {
                ++mark_;
                continue;
            }
            known_ = (mark_ > 0 && mark_ < 3) || !IsMarkupSpace(p[i]);
            markup_ = known_ && mark_ != 1 && mark_ != 2 && p[i] == '<';
        }
    }
    bool Markup() const { return markup_; }

private:
    int64_t offset_ = 0, mark_ = 0;  // the bytes seen, of which the mark's
    bool known_ = false, markup_ = false;
};

}  // namespace

bool IndexSave(SaveSource& source, SaveIndex* index, bool extras, Reading reading) {
    index->size = source.Size();
    Indexer indexer(*index, extras);
    Walk<Indexer> walk(indexer);
    Events<Indexer> events(indexer);  // the byte path alone
    Tokenizer<Events<Indexer>> tokenizer(events);
    Lead lead;
    int64_t read = 0, walked = 0;
    size_t keep = 0;
    for (std::span<const uint8_t> chunk;;) {
        if (!source.Next(&chunk, keep)) return false;
        const size_t fresh = chunk.size() - keep;
        const int64_t at = read - static_cast<int64_t>(keep);
        read += static_cast<int64_t>(fresh);
        lead.Feed(chunk.data() + keep, fresh);
        if (reading == Reading::kBytes) {
            tokenizer.Feed(chunk.data(), chunk.size());
        } else {
            keep = walk.Feed(chunk.data(), chunk.size(), at, fresh == 0);
        }
        // A NUL ends the list's text for the cuts (a save holds none): looked for in the list's
        // content only (what the cuts read), in what the reading has passed. The start tag is
        // known only once it is read whole, and the reading may have passed its first bytes
        // in a chunk before: from there, what was looked at would hang on the chunks.
        const int64_t end = at + static_cast<int64_t>(chunk.size() - keep);
        const ItemList& living = index->living;
        const int64_t from = std::max(walked, living.open.end);
        const int64_t to = living.close.end >= 0 ? std::min(end, living.close.end) : end;
        if (living.open.Present() && index->first_nul_in_living < 0 && from < to) {
            const void* nul = std::memchr(chunk.data() + (from - at), 0, static_cast<size_t>(to - from));
            if (nul != nullptr) index->first_nul_in_living = at + (static_cast<const uint8_t*>(nul) - chunk.data());
        }
        walked = end;
        if (fresh == 0) break;
    }
    index->cut_short = indexer.CutShort();
    index->markup = lead.Markup();
    index->markers.resize(index->leaders.size(), -1);  // leaders named after the list have none there
    for (ItemList* list : {&index->living, &index->mothballed, &index->kept_forever}) DropOpenItems(*list);
    if (!index->extras.empty() && index->extras.back().end < 0) {
        index->extra_names.resize(index->extras.back().names_at);
        index->extras.pop_back();
    }
    return read == index->size;
}

MemorySource::~MemorySource() { ASAN_UNPOISON_MEMORY_REGION(buffer_.get(), capacity_); }

bool MemorySource::Next(std::span<const uint8_t>* chunk, size_t keep) {
    const size_t n = std::min(chunk_, bytes_.size() - at_);
    keep = std::min({keep, at_, kLongestKeep});
    if (capacity_ < kLongestKeep + chunk_) {
        capacity_ = kLongestKeep + chunk_;
        buffer_ = std::make_unique<uint8_t[]>(capacity_);
    }
    uint8_t* const begin = buffer_.get() + (kLongestKeep - keep);
    ASAN_UNPOISON_MEMORY_REGION(buffer_.get(), capacity_);
    std::copy_n(bytes_.data() + at_ - keep, keep + n, begin);
    ASAN_POISON_MEMORY_REGION(buffer_.get(), kLongestKeep - keep);
    ASAN_POISON_MEMORY_REGION(begin + keep + n, capacity_ - (kLongestKeep + n));
    *chunk = {begin, keep + n};
    at_ += n;
    return true;
}

bool MemorySource::ReadAt(int64_t offset, uint8_t* out, size_t n) {
    if (offset < 0 || static_cast<uint64_t>(offset) > bytes_.size() || n > bytes_.size() - static_cast<size_t>(offset))
        return false;
    if (n > 0) std::memcpy(out, bytes_.data() + offset, n);
    return true;
}

}  // namespace cleaner
