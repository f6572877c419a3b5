// The index, built by one sink of the tokenizer's events as the save streams past.
#include "cleaner/save_index.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "cleaner/tokenizer.h"

namespace cleaner {

namespace {

constexpr char kReference[] = "Thing_";
constexpr size_t kReferenceLength = sizeof kReference - 1;
constexpr size_t kTextLimit = 256;  // longer texts are no id and no reference

// By length, the first bytes of the names the index looks for (0: none).
constexpr char kFirstBytes[32][2] = {
    {}, {}, {'i'}, {}, {}, {}, {'l'}, {}, {}, {}, {'p'}, {}, {'w', 'q'}, {}, {'f', 'k'}, {'p'}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
    {}, {}, {}, {}, {}, {'p'}};

// What an open element is to the index.
enum class Role : uint8_t {
    kOther,
    kFactions,    // the faction section
    kLeader,      // a "leader" element inside it
    kReferences,  // a region whose texts are references that hold pawns
    kList,        // one of the lists of world pawns
    kItem,        // a top-level item of a list
    kOwnId,       // an item's first "id" child
    kId,          // any other "id" element inside an item of the living list
};

// A character reference's code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The text as an XML reader gives it: the five entities and character references replaced;
// anything else stays as it stands.
std::string Decoded(std::string_view text) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i + 1);
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [name, c] : kEntities) {
                if (rest.substr(0, name.size()) == name) {
                    out += c;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
            const size_t semicolon = rest.find(';');
            if (!replaced && rest.size() > 1 && rest[0] == '#' && semicolon != std::string_view::npos && semicolon < 10) {
                const bool hex = rest[1] == 'x';
                uint32_t code = 0;
                bool digits = semicolon > (hex ? 2u : 1u);
                for (size_t k = hex ? 2 : 1; k < semicolon && digits; ++k) {
                    const char d = rest[k];
                    const int v = d >= '0' && d <= '9' ? d - '0' : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                                  : hex && d >= 'A' && d <= 'F'                    ? d - 'A' + 10
                                                                                    : -1;
                    digits = v >= 0 && code < 0x110000;
                    code = code * (hex ? 16 : 10) + static_cast<uint32_t>(v < 0 ? 0 : v);
                }
                if (digits && code < 0x110000) {
                    AppendUtf8(out, code);
                    i += semicolon + 1;
                    replaced = true;
                }
            }
        }
        if (!replaced) out += text[i];
    }
    return out;
}

// An open element the index cares about. The elements it does not care about are only
// counted, in the frame they stand in.
struct Frame {
    Role role;
    ItemList* list;   // kList, kItem: the list
    int64_t begin;    // the start tag's offset
    bool plain;       // the start tag is spelled exactly "<" + name + ">"
    bool id_seen;     // kItem: an "id" child has opened
    uint32_t nested;  // elements of no concern open inside it
};

class Indexer {
public:
    explicit Indexer(SaveIndex& index) : index_(index) { stack_.push_back(Frame{Role::kOther, nullptr, 0, false, false, 0}); }

    // Most tags are of no concern: counted in the frame they open in, and out again.
    void Tag(const cleaner::Tag& tag) {
        if (text_parts_ > 0) TakeText();
        Frame& top = stack_.back();
        if (tag.kind == Tag::kEnd) {
            if (top.nested > 0) {
                --top.nested;
                leaf_ = false;
            } else if (stack_.size() > 1) {
                Close(tag);
            }
        } else if (const Role role = RoleOf(tag, top); role == Role::kOther) {
            top.nested += tag.kind == Tag::kStart;
            leaf_ = false;
        } else {
            Open(tag, role);
            if (tag.kind == Tag::kEmpty) Close(tag);
        }
        wants_ = WantsTextHere();
    }
    bool WantsText() const { return wants_; }
    void Text(int64_t at, const uint8_t* bytes, size_t n) {
        if (text_parts_++ == 0) {
            text_.clear();
            text_joined_ = true;
            text_long_ = false;
        } else if (at != text_end_) {
            text_joined_ = false;  // markup stood between the parts
        }
        text_end_ = at + static_cast<int64_t>(n);
        if (text_.size() + n > kTextLimit) text_long_ = true;
        else text_.append(reinterpret_cast<const char*>(bytes), n);
    }

private:
    // What the element opening now is, inside `top` (its parent, when nothing of no concern
    // stands between).
    Role RoleOf(const cleaner::Tag& tag, const Frame& top) const {
        const std::string_view name = tag.long_name ? std::string_view() : tag.name;
        const bool child = top.nested == 0;
        if (child && top.role == Role::kList) return Role::kItem;
        // Nearly every name is of no concern: told by its length and first byte at once,
        // without a branch for each length that the processor could not foresee.
        if (name.empty() || name.size() >= std::size(kFirstBytes)) return Role::kOther;
        const char* first = kFirstBytes[name.size()];
        if ((name[0] ^ first[0]) != 0 && (name[0] ^ first[1]) != 0) return Role::kOther;
        switch (name.size()) {
            case 2:
                if (name != "id" || open_items_ == 0) return Role::kOther;
                if (child && top.role == Role::kItem && !top.id_seen && top.list != &index_.kept_forever)
                    return Role::kOwnId;
                return living_items_ > 0 ? Role::kId : Role::kOther;
            case 6: return factions_depth_ > 0 && name == "leader" ? Role::kLeader : Role::kOther;
            case 10: return name == "pawnsAlive" && !index_.living.open.Present() ? Role::kList : Role::kOther;
            case 12:
                if (name == "worldObjects" && !world_objects_) return Role::kReferences;
                return name == "questManager" && !quests_ ? Role::kReferences : Role::kOther;
            case 14:
                if (name == "factionManager" && !index_.factions.Present()) return Role::kFactions;
                return factions_depth_ > 0 && name == "kidnappedPawns" ? Role::kReferences : Role::kOther;
            case 15:
                return name == "pawnsMothballed" && index_.living.open.Present() && !index_.mothballed.open.Present()
                           ? Role::kList
                           : Role::kOther;
            case 31:
                return name == "pawnsForcefullyKeptAsWorldPawns" && !index_.living.open.Present() &&
                               !index_.kept_forever.open.Present()
                           ? Role::kList
                           : Role::kOther;
            default: return Role::kOther;
        }
    }

    void Open(const cleaner::Tag& tag, Role role) {
        const auto plain = tag.end - tag.begin == static_cast<int64_t>(tag.name.size()) + 2;
        Frame frame{role, nullptr, tag.begin, plain, false, 0};
        switch (role) {
            case Role::kFactions:
                index_.factions.begin = tag.begin;
                ++factions_depth_;
                break;
            case Role::kReferences:
                world_objects_ = world_objects_ || tag.name == "worldObjects";
                quests_ = quests_ || tag.name == "questManager";
                ++references_depth_;
                break;
            case Role::kList:
                frame.list = tag.name == "pawnsAlive" ? &index_.living
                             : tag.name == "pawnsMothballed" ? &index_.mothballed
                                                             : &index_.kept_forever;
                frame.list->open = {tag.begin, tag.end};
                if (frame.list == &index_.living) StartMarkers();
                break;
            case Role::kItem:
                frame.list = stack_.back().list;
                frame.list->items.push_back(Item{static_cast<int32_t>(tag.begin), -1, 0, 0, false});
                living_items_ += frame.list == &index_.living;
                ++open_items_;
                break;
            case Role::kOwnId: stack_.back().id_seen = true; break;
            default: break;
        }
        stack_.push_back(frame);
        leaf_ = false;
    }

    void Close(const cleaner::Tag& tag) {
        const Frame frame = stack_.back();
        stack_.pop_back();
        const std::string_view text = leaf_ ? std::string_view(text_) : std::string_view();
        leaf_ = false;
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
            default: break;
        }
    }

    // The text just before the tag now read stood in the element open now: it is that
    // element's whole text when the tag closes it (and no child came between).
    void TakeText() {
        text_parts_ = 0;
        leaf_ = !text_long_;
        if (text_.find('&') != std::string::npos) {
            text_ = Decoded(text_);
            text_joined_ = false;  // spelled otherwise than as it reads
        }
        if (references_depth_ > 0 && leaf_ && IsReference(text_) && text_.size() > kReferenceLength)
            index_.held.push_back(index_.Keep(std::string_view(text_).substr(kReferenceLength)));
    }

    static bool IsReference(std::string_view text) { return text.substr(0, kReferenceLength) == kReference; }

    void SetId(Item& item, std::string_view id) {
        const IdRef ref = index_.Keep(id);
        item.id = ref.at;
        item.id_length = ref.length;
        item.has_id = true;
    }

    // The leaders' ids are looked for in the living list when they were named before it.
    void StartMarkers() {
        index_.markers.assign(index_.leaders.size(), -1);
        if (index_.factions.end < 0) return;
        for (size_t i = 0; i < index_.leaders.size(); ++i) wanted_[std::string(index_.Id(index_.leaders[i]))].push_back(i);
        unmarked_ = wanted_.size();
    }

    // An "id" element in an item of the living list: the first with each leader's id is that
    // leader's marker, where it is spelled "<id>" + id + "</id>".
    void Marker(const Frame& frame, const cleaner::Tag& tag, std::string_view text) {
        if (unmarked_ == 0 || living_items_ == 0) return;
        auto found = wanted_.find(std::string(text));
        if (found == wanted_.end()) return;
        const bool literal = frame.plain && tag.kind == Tag::kEnd && tag.end - tag.begin == 5 && text_joined_;
        if (!literal) index_.marker_spelled_otherwise = true;
        for (size_t i : found->second) index_.markers[i] = frame.begin;
        wanted_.erase(found);
        --unmarked_;
    }

    bool WantsTextHere() const {
        if (references_depth_ > 0) return true;
        if (stack_.back().nested > 0) return false;
        switch (stack_.back().role) {
            case Role::kLeader:
            case Role::kOwnId: return true;
            case Role::kId: return unmarked_ > 0;
            case Role::kItem: return stack_.back().list == &index_.kept_forever;
            default: return false;
        }
    }

    SaveIndex& index_;
    std::vector<Frame> stack_;
    int factions_depth_ = 0, references_depth_ = 0, open_items_ = 0, living_items_ = 0;
    bool world_objects_ = false, quests_ = false;
    bool wants_ = false;
    std::string text_;
    int64_t text_end_ = 0;
    size_t text_parts_ = 0;
    bool text_joined_ = true, text_long_ = false, leaf_ = false;
    std::unordered_map<std::string, std::vector<size_t>> wanted_;
    size_t unmarked_ = 0;
};

// Items the file ended inside of are no items.
void DropOpenItems(ItemList& list) {
    while (!list.items.empty() && list.items.back().end < 0) list.items.pop_back();
}

}  // namespace

IdRef SaveIndex::Keep(std::string_view id) {
    const IdRef ref{static_cast<uint32_t>(arena_.size()), static_cast<uint16_t>(std::min<size_t>(id.size(), UINT16_MAX))};
    arena_.append(id.substr(0, ref.length));
    return ref;
}

bool IndexSave(SaveSource& source, SaveIndex* index) {
    index->size = source.Size();
    Indexer indexer(*index);
    Tokenizer<Indexer> tokenizer(indexer);
    int64_t at = 0;
    for (std::span<const uint8_t> chunk;;) {
        if (!source.Next(&chunk)) return false;
        if (chunk.empty()) break;
        tokenizer.Feed(chunk.data(), chunk.size());
        // A NUL ends the list's text for the cuts (a save holds none): looked for in the list only.
        const int64_t end = at + static_cast<int64_t>(chunk.size());
        const ItemList& living = index->living;
        const int64_t from = std::max(at, living.open.begin);
        const int64_t to = living.close.end >= 0 ? std::min(end, living.close.end) : end;
        if (living.open.Present() && index->first_nul_in_living < 0 && from < to) {
            const void* nul = std::memchr(chunk.data() + (from - at), 0, static_cast<size_t>(to - from));
            if (nul != nullptr) index->first_nul_in_living = at + (static_cast<const uint8_t*>(nul) - chunk.data());
        }
        at = end;
    }
    index->markers.resize(index->leaders.size(), -1);  // leaders named after the list have none there
    for (ItemList* list : {&index->living, &index->mothballed, &index->kept_forever}) DropOpenItems(*list);
    return at == index->size;
}

bool MemorySource::Next(std::span<const uint8_t>* chunk) {
    const size_t n = std::min(chunk_, bytes_.size() - at_);
    *chunk = bytes_.subspan(at_, n);
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
