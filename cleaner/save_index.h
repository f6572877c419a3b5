// What one pass over the save's markup finds for the rules, as file offsets (0-based): the
// lists of world pawns with their top-level items, the faction leaders, the references that
// hold pawns elsewhere, and where the id of each leader first stands in the living list.
// Nothing of the save is copied but the ids, a few bytes each, into one arena.
//
// The regions are elements found by name, the first of each: "factionManager" (its
// "leader" references and "kidnappedPawns" lists), "worldObjects" and "questManager" (every
// text that is a reference "Thing_" + id), the lists "pawnsAlive", then
// "pawnsForcefullyKeptAsWorldPawns" before it and "pawnsMothballed" after it. A list's
// items are its child elements; an item's own id is the text of its first "id" child (in
// the list of pawns kept whatever happens, the item's own text "Thing_" + id).
//
// Asked for, the pass also finds what the options may remove beside the world pawns, by
// its place from the root: the filth among each map's things ("savegame/game/maps/li/things",
// a "thing" whose class after its last dot is "Filth", "LiquidFuel" or begins "Filth_"), the
// tales ("game/taleManager/tales"), the logs ("game/playLog/entries", "game/battleLog/battles"
// and "rawEntries", "game/history/archive/archivables") and the dead world pawns
// ("game/world/worldPawns/pawnsDead"), each item with the names it answers to; and every
// reference in the save, wherever it stands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cleaner/source.h"

namespace cleaner {

struct Span {
    int64_t begin = -1, end = -1;  // [begin, end); begin -1 when absent
    bool Present() const { return begin >= 0; }
};

// A top-level item of a list. The save is under 2 GiB, so its offsets fit 32 bits.
struct Item {
    int32_t begin, end;  // from its "<" through the ">" that ends it
    uint32_t id;         // its own id in the arena, when it has one
    uint32_t id_length;
    bool has_id;
};

struct ItemList {
    Span open, close;  // the list's start tag and end tag (an empty-element list has no end tag)
    std::vector<Item> items;
    bool Present() const { return open.Present() && close.Present(); }
    // The content between the tags.
    int64_t ContentBegin() const { return open.end; }
    int64_t ContentEnd() const { return close.begin; }
};

// What the options remove beside the world pawns.
enum class Extra : uint8_t { kFilth, kTale, kLog, kDead };
constexpr size_t kExtraKinds = 4;

// An item the options may remove: the item [begin, end) with the whitespace right before it
// from `space` on, and the names that name it or a thing inside it (hashed references:
// "Thing_" + each id inside a dead pawn, "Tale_" + a tale's id, ...).
struct ExtraItem {
    int32_t space, begin, end;
    Extra kind;
    uint32_t names_at, names;  // its names in SaveIndex::extra_names
};

// A leaf text that is a reference ("Thing_", "Tale_", "LogEntry_", "Battle_", "Letter_",
// "Message_", "ArchivedDialog_" + an id): what it names, hashed, and where its text begins.
struct Reference {
    uint64_t name;
    int32_t at;
};

// The hash a reference's text names by: "LogEntry_<ticks>_<id>" names as "LogEntry_<id>".
// Two names that hash alike only keep more than they need.
uint64_t NameOf(std::string_view prefix, std::string_view id);
uint64_t ReferenceName(std::string_view text);

// A reference's id in the arena.
struct IdRef {
    uint32_t at;
    uint32_t length;
};

class SaveIndex {
public:
    int64_t size = 0;
    int64_t first_nul_in_living = -1;  // the offset of the first NUL byte in the living list, or -1
    bool cut_short = false;            // the save ends before the end tag of its root element
    bool markup = false;               // its first byte after a byte-order mark and blanks is "<"

    Span factions;
    std::vector<IdRef> leaders;  // "Thing_" references in the faction section's "leader" elements, in order
    std::vector<IdRef> held;     // references in kidnapped lists, world objects and the quest manager
    ItemList living, mothballed, kept_forever;
    // By leader: the offset of the first "<id>" + id + "</id>" in the living list, spelled so,
    // or -1 (also when the leaders were named after the list).
    std::vector<int64_t> markers;
    // A leader's first "id" element in the living list is spelled otherwise (attributes,
    // blanks, markup inside): the text positions the cuts rely on are not the structure's.
    bool marker_spelled_otherwise = false;

    // Where asked for (all in file order).
    std::vector<ExtraItem> extras;
    std::vector<uint64_t> extra_names;
    std::vector<Reference> references;

    std::string_view Id(IdRef ref) const { return {arena_.data() + ref.at, ref.length}; }
    std::string_view Id(const Item& item) const { return {arena_.data() + item.id, item.id_length}; }
    IdRef Keep(std::string_view id);

private:
    std::string arena_;
};

// How the save's structure is read: in two stages (64 bytes at a time through their masks,
// the byte tokenizer where those cannot tell), or by the byte tokenizer alone (the judge of
// the two stages in the tests).
enum class Reading : uint8_t { kTwoStages, kBytes };

// The index of the save `source` holds, read front to back once, with the extra items and
// the references where `extras`. False when a read failed.
bool IndexSave(SaveSource& source, SaveIndex* index, bool extras = false, Reading reading = Reading::kTwoStages);

}  // namespace cleaner
