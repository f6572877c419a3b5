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

// By length, the first bytes of the names the index looks for (0: none).
constexpr char kFirstBytes[32][2] = {
    {}, {}, {'i', 'I'}, {}, {}, {'l'}, {'l'}, {}, {}, {}, {'p'}, {}, {'w', 'q'}, {}, {'f', 'k'}, {'p'}, {}, {}, {}, {}, {}, {}, {}, {},
    {}, {}, {}, {}, {}, {}, {}, {'p'}};

// The places of the items the options may remove, from the root; a node's items are its
// children of `item` name.
struct PathNode {
    std::string_view name;
    int parent;
    std::string_view item;
    Extra kind;
};
constexpr PathNode kPaths[] = {
    {"", -1, "", Extra::kLog},  // the document
    {"savegame", 0, "", Extra::kLog},
    {"game", 1, "", Extra::kLog},
    {"maps", 2, "", Extra::kLog},
    {"li", 3, "", Extra::kLog},  // a map
    {"things", 4, "thing", Extra::kFilth},
    {"taleManager", 2, "", Extra::kLog},
    {"tales", 6, "li", Extra::kTale},
    {"playLog", 2, "", Extra::kLog},
    {"entries", 8, "li", Extra::kLog},
    {"battleLog", 2, "", Extra::kLog},
    {"battles", 10, "li", Extra::kLog},  // kBattles
    {"rawEntries", 10, "li", Extra::kLog},
    {"history", 2, "", Extra::kLog},
    {"archive", 13, "", Extra::kLog},
    {"archivables", 14, "li", Extra::kLog},  // kArchivables
    {"world", 2, "", Extra::kLog},
    {"worldPawns", 16, "", Extra::kLog},
    {"pawnsDead", 17, "li", Extra::kDead},
};

constexpr uint8_t kTales = 7, kBattles = 11, kArchivables = 15;  // nodes of kPaths

// The elements inside an extra item whose text is a name it answers to.
enum IdName : uint8_t { kIdOfThing, kIdOfArchived, kLoadId, kLogId };

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

// The value of the attribute `name` among a start tag's attributes, decoded, as an XML reader
// reads it: pairs of a name, "=" and a quoted value, blanks between; false where it is not
// there whole (the tag's attributes cut before it, or spelled as no reader takes them).
bool AttributeValue(std::string_view attributes, std::string_view name, std::string* value) {
    size_t k = 0;
    const auto blanks = [&] {
        while (k < attributes.size() && IsMarkupSpace(static_cast<uint8_t>(attributes[k]))) ++k;
    };
    for (;;) {
        blanks();
        const size_t begin = k;
        while (k < attributes.size() && attributes[k] != '=' && !IsMarkupSpace(static_cast<uint8_t>(attributes[k]))) ++k;
        const std::string_view found = attributes.substr(begin, k - begin);
        blanks();
        if (found.empty() || k == attributes.size() || attributes[k] != '=') return false;
        ++k;
        blanks();
        if (k == attributes.size() || (attributes[k] != '"' && attributes[k] != '\'')) return false;
        const size_t close = attributes.find(attributes[k], k + 1);
        if (close == std::string_view::npos) return false;
        if (found == name) {
            *value = Decoded(attributes.substr(k + 1, close - k - 1));
            return true;
        }
        k = close + 1;
    }
}

// The class named by a start tag's attributes is filth: after its last dot "Filth",
// "LiquidFuel", or beginning "Filth_". A class not read whole is none.
bool IsFilth(std::string_view attributes) {
    std::string value;
    if (!AttributeValue(attributes, "Class", &value)) return false;
    std::string_view name = value;
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    return name == "Filth" || name == "LiquidFuel" || name.substr(0, 6) == "Filth_";
}

constexpr std::string_view kReferenceForms[] = {"Thing_", "Tale_", "LogEntry_", "Battle_", "Letter_", "Message_",
                                                "ArchivedDialog_"};

bool MayBeReference(uint8_t first) {
    return first == 'T' || first == 'L' || first == 'B' || first == 'M' || first == 'A';
}

// How a text (as it stands, not yet decoded) may begin: with a reference form, with part of
// one (what it holds so far could go on to be one), or otherwise. A character reference cut
// by the text's end so far is left for later.
enum class Start : uint8_t { kNone, kPart, kForm };
Start StartOf(std::string_view raw) {
    const size_t amp = raw.rfind('&');
    if (amp != std::string_view::npos && raw.find(';', amp) == std::string_view::npos) raw = raw.substr(0, amp);
    std::string text = raw.find('&') == std::string_view::npos ? std::string(raw) : Decoded(raw);
    const size_t first = text.find_first_not_of(" \t\r\n");
    const std::string_view rest = first == std::string::npos ? std::string_view() : std::string_view(text).substr(first);
    Start start = rest.empty() ? Start::kPart : Start::kNone;
    for (std::string_view form : kReferenceForms) {
        if (rest.substr(0, form.size()) == form) return Start::kForm;
        if (!rest.empty() && form.substr(0, rest.size()) == rest) start = Start::kPart;
    }
    return start;
}

bool IsReferenceForm(std::string_view text) {
    if (text.empty() || !MayBeReference(static_cast<uint8_t>(text[0]))) return false;
    for (std::string_view form : kReferenceForms)
        if (text.size() > form.size() && text.substr(0, form.size()) == form) return true;
    return false;
}

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
    kPath,        // on the way from the root to a list of extra items
    kExtraItem,   // an item the options may remove
    kExtraId,     // an element inside it whose text it answers to
};

// An open element the index cares about. The elements it does not care about are only
// counted, in the frame they stand in.
struct Frame {
    Role role;
    uint8_t node;     // kPath, kExtraItem: its node (of its list); kExtraId: its IdName
    ItemList* list;   // kList, kItem: the list
    int64_t begin;    // the start tag's offset
    bool plain;       // the start tag is spelled exactly "<" + name + ">"
    bool id_seen;     // kItem: an "id" child has opened
    uint32_t nested;  // elements of no concern open inside it
};

class Indexer {
public:
    Indexer(SaveIndex& index, bool extras) : index_(index), extras_(extras) {
        stack_.push_back(Frame{extras ? Role::kPath : Role::kOther, 0, nullptr, 0, false, false, 0});
    }

    // Most tags are of no concern: counted in the frame they open in, and out again.
    void Tag(const cleaner::Tag& tag) {
        const bool text = text_parts_ > 0;
        if (text) TakeText();
        if (extras_ && text && leaf_ && tag.kind == Tag::kEnd && after_start_ && IsReferenceForm(text_))
            index_.references.push_back({ReferenceName(text_), static_cast<int32_t>(text_at_)});
        after_start_ = tag.kind == Tag::kStart;
        Root(tag);
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
        whole_text_ = WantsTextHere();
        skipping_ = false;
    }
    // Where extras are asked for, every text passes: its blank end for the whitespace before
    // an item, and those that may be references; in the regions of held pawns, those that may
    // be references; the rest only where wanted whole.
    bool WantsText() const { return whole_text_ || extras_ || references_depth_ > 0; }
    void Text(int64_t at, const uint8_t* bytes, size_t n) {
        // Only a text right inside a list of extra items stands before one of them.
        if (extras_ && stack_.back().role == Role::kPath && stack_.back().nested == 0) Space(at, bytes, n);
        if (skipping_) return;  // the text since the last tag is none the index keeps
        if (!whole_text_ && text_.empty()) {
            // A reference may follow blanks, and begin with a character reference.
            size_t k = 0;
            while (k < n && IsMarkupSpace(bytes[k])) ++k;
            if (k == n) return;
            if (!MayBeReference(bytes[k]) && bytes[k] != '&') {
                skipping_ = true;  // and its other parts, after markup inside it
                return;
            }
            at += static_cast<int64_t>(k), bytes += k, n -= k;
        }
        if (text_parts_++ == 0) {
            text_at_ = at;
            text_.clear();
            text_joined_ = true;
            text_checked_ = kFirstCheck;
        } else if (at != text_end_) {
            text_joined_ = false;  // markup stood between the parts
        }
        text_end_ = at + static_cast<int64_t>(n);
        text_.append(reinterpret_cast<const char*>(bytes), n);
        // A text kept only as a possible reference is let go as soon as it cannot be one.
        if (!whole_text_ && text_.size() >= text_checked_) {
            const Start start = StartOf(text_);
            if (start == Start::kNone) {
                skipping_ = true;
                text_parts_ = 0;
                text_.clear();
            }
            text_checked_ = start == Start::kForm ? SIZE_MAX : 2 * text_checked_;
        }
    }

    // The save ends before the end tag of its root element, by name: cut short.
    bool CutShort() const { return !root_.empty() && !at_root_end_; }

private:
    // The first element is the root; whether the tag read last is its end.
    void Root(const cleaner::Tag& tag) {
        if (root_.empty()) {
            if (tag.kind == Tag::kEnd) return;
            root_ = tag.name;  // a long name by its first kNameLimit bytes
            root_long_ = tag.long_name;
            at_root_end_ = tag.kind == Tag::kEmpty;
            return;
        }
        at_root_end_ = tag.kind == Tag::kEnd && tag.name == root_ && tag.long_name == root_long_;
    }

    // What the element opening now is, inside `top` (its parent, when nothing of no concern
    // stands between).
    Role RoleOf(const cleaner::Tag& tag, const Frame& top) {
        const std::string_view name = tag.long_name ? std::string_view() : tag.name;
        const bool child = top.nested == 0;
        if (child && top.role == Role::kList) return Role::kItem;
        if (child && top.role == Role::kPath) {
            const PathNode& node = kPaths[top.node];
            if (!node.item.empty() && name == node.item && (node.kind != Extra::kFilth || IsFilth(tag.attributes))) {
                pending_ = top.node;
                return Role::kExtraItem;
            }
            for (size_t i = top.node + 1u; i < std::size(kPaths); ++i) {
                if (kPaths[i].parent == top.node && kPaths[i].name == name) {
                    pending_ = static_cast<uint8_t>(i);
                    return Role::kPath;
                }
            }
        }
        // Nearly every name is of no concern: told by its length and first byte at once,
        // without a branch for each length that the processor could not foresee.
        if (name.empty() || name.size() >= std::size(kFirstBytes)) return Role::kOther;
        const char* first = kFirstBytes[name.size()];
        if ((name[0] ^ first[0]) != 0 && (name[0] ^ first[1]) != 0) return Role::kOther;
        // A list or a section spelled inside an item the options may remove is part of it.
        if (extra_open_ && name.size() > 6) return Role::kOther;
        switch (name.size()) {
            case 2:
                if (extra_open_ && (name == "id" || name == "ID")) return pending_ = name == "id" ? kIdOfThing : kIdOfArchived, Role::kExtraId;
                if (name != "id" || open_items_ == 0) return Role::kOther;
                if (child && top.role == Role::kItem && !top.id_seen && top.list != &index_.kept_forever)
                    return Role::kOwnId;
                return living_items_ > 0 ? Role::kId : Role::kOther;
            case 5: return extra_open_ && name == "logID" ? (pending_ = kLogId, Role::kExtraId) : Role::kOther;
            case 6:
                if (extra_open_ && name == "loadID") return pending_ = kLoadId, Role::kExtraId;
                return factions_depth_ > 0 && name == "leader" ? Role::kLeader : Role::kOther;
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
        Frame frame{role, pending_, nullptr, tag.begin, plain, false, 0};
        switch (role) {
            case Role::kExtraItem: {
                const int64_t space = space_to_ == tag.begin ? space_from_ : tag.begin;
                index_.extras.push_back({static_cast<int32_t>(space), static_cast<int32_t>(tag.begin), -1,
                                         kPaths[pending_].kind, static_cast<uint32_t>(index_.extra_names.size()), 0});
                extra_open_ = true;
                extra_list_ = pending_;
                own_names_ = 0;
                break;
            }
            case Role::kExtraId:
                if (stack_.back().role == Role::kExtraItem && stack_.back().nested == 0) own_names_ |= 1u << pending_;
                break;
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
        const bool leaf_text = leaf_;
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
            case Role::kExtraId:
                if (leaf_text) Names(static_cast<IdName>(frame.node), text);
                break;
            case Role::kExtraItem: {
                // A field at its default is left out: a tale, battle or archived item with no id
                // of its own answers to 0.
                const IdName own = frame.node == kTales ? kIdOfThing : frame.node == kBattles ? kLoadId : kIdOfArchived;
                if ((frame.node == kTales || frame.node == kBattles || frame.node == kArchivables) && !(own_names_ & 1u << own))
                    Names(own, "0");
                ExtraItem& item = index_.extras.back();
                item.end = static_cast<int32_t>(tag.end);
                item.names = static_cast<uint32_t>(index_.extra_names.size()) - item.names_at;
                extra_open_ = false;
                break;
            }
            default: break;
        }
    }

    // The names the open extra item answers to by the text of one of its elements.
    void Names(IdName element, std::string_view id) {
        const Extra kind = index_.extras.back().kind;
        std::vector<uint64_t>& names = index_.extra_names;
        switch (element) {
            case kIdOfThing: names.push_back(NameOf(kind == Extra::kTale ? "Tale_" : "Thing_", id)); break;
            case kIdOfArchived:
                if (extra_list_ != kArchivables) break;
                for (std::string_view form : {"Letter_", "Message_", "ArchivedDialog_"}) names.push_back(NameOf(form, id));
                break;
            case kLoadId:
                if (extra_list_ == kBattles) names.push_back(NameOf("Battle_", id));
                break;
            case kLogId: names.push_back(NameOf("LogEntry_", id)); break;
        }
    }

    // Where the whitespace before the next tag begins: the texts' blank ends, run together
    // where nothing stands between them.
    void Space(int64_t at, const uint8_t* bytes, size_t n) {
        size_t k = n;
        while (k > 0 && IsMarkupSpace(bytes[k - 1])) --k;
        if (k > 0 || at != space_to_) space_from_ = at + static_cast<int64_t>(k);
        space_to_ = at + static_cast<int64_t>(n);
    }

    // The text just before the tag now read stood in the element open now: it is that
    // element's whole text when the tag closes it (and no child came between).
    void TakeText() {
        text_parts_ = 0;
        leaf_ = true;
        if (text_.find('&') != std::string::npos) {
            text_ = Decoded(text_);
            text_joined_ = false;  // spelled otherwise than as it reads
        }
        // Blanks around an id or a reference are none of it.
        const size_t first = text_.find_first_not_of(" \t\r\n");
        const size_t last = text_.find_last_not_of(" \t\r\n");
        if (first == std::string::npos) {
            text_joined_ = text_joined_ && text_.empty();
            text_.clear();
        } else if (first > 0 || last + 1 < text_.size()) {
            text_joined_ = false;
            text_ = text_.substr(first, last + 1 - first);
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
        if (stack_.back().nested > 0) return false;
        switch (stack_.back().role) {
            case Role::kLeader:
            case Role::kOwnId:
            case Role::kExtraId: return true;
            case Role::kId: return unmarked_ > 0;
            case Role::kItem: return stack_.back().list == &index_.kept_forever;
            default: return false;
        }
    }

    SaveIndex& index_;
    const bool extras_;
    std::vector<Frame> stack_;
    uint8_t pending_ = 0;  // RoleOf's node, kind or IdName for the frame it opens
    bool extra_open_ = false, after_start_ = false;
    uint8_t extra_list_ = 0;  // the node of the open extra item's list
    unsigned own_names_ = 0;  // of the open extra item: the IdNames of its own children
    int64_t text_at_ = 0, space_from_ = -1, space_to_ = -1;
    int factions_depth_ = 0, references_depth_ = 0, open_items_ = 0, living_items_ = 0;
    bool world_objects_ = false, quests_ = false;
    std::string root_;  // the root element's name
    bool root_long_ = false, at_root_end_ = false;
    bool whole_text_ = false;  // the text after the last tag is wanted whatever it holds
    bool skipping_ = false;    // the text since the last tag is none the index keeps
    std::string text_;         // that text as it stands, of any length
    int64_t text_end_ = 0;
    size_t text_parts_ = 0;
    static constexpr size_t kFirstCheck = 16;
    size_t text_checked_ = kFirstCheck;  // a possible reference is looked at again at this length
    bool text_joined_ = true, leaf_ = false;
    std::unordered_map<std::string, std::vector<size_t>> wanted_;
    size_t unmarked_ = 0;
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
    constexpr std::string_view kLogEntry = "LogEntry_";
    if (text.substr(0, kLogEntry.size()) == kLogEntry) return NameOf(kLogEntry, text.substr(text.rfind('_') + 1));
    return NameOf(text, {});
}

IdRef SaveIndex::Keep(std::string_view id) {
    const IdRef ref{static_cast<uint32_t>(arena_.size()), static_cast<uint32_t>(id.size())};
    arena_.append(id);
    return ref;
}

bool IndexSave(SaveSource& source, SaveIndex* index, bool extras) {
    index->size = source.Size();
    Indexer indexer(*index, extras);
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
    index->cut_short = indexer.CutShort();
    index->markers.resize(index->leaders.size(), -1);  // leaders named after the list have none there
    for (ItemList* list : {&index->living, &index->mothballed, &index->kept_forever}) DropOpenItems(*list);
    if (!index->extras.empty() && index->extras.back().end < 0) {
        index->extra_names.resize(index->extras.back().names_at);
        index->extras.pop_back();
    }
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
