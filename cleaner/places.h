// The places of the save the index reads, by their path from the root, in one table: a
// region is found at its place and nowhere else (the same name spelled inside a tale or a
// mod's component is text of what holds it), and ends only at its own end tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "cleaner/save_index.h"
#include "cleaner/texts.h"

namespace cleaner {

// What an open element is to the index.
enum class Role : uint8_t {
    kPlace,       // on the way from the root to the places below
    kFactions,    // the faction section: its "leader" references and kidnapped lists, anywhere in it
    kLeader,      // a "leader" element inside it
    kReferences,  // a region whose texts that are references "Thing_" + id hold pawns
    kList,        // one of the lists of world pawns
    kItem,        // a top-level item of a list
    kOwnId,       // an item's first "id" child
    kId,          // any other "id" element inside an item of the living list
    kExtraList,   // a list of the items the options may remove
    kExtraItem,   // an item the options may remove
    kExtraId,     // an element inside it whose text it answers to
    kOther,       // of no concern: no frame
};

// kExtraList: the elements inside an item whose texts are names it answers to, a bit per
// Wanted row. Every item answers by its "id" (a thing's, or a tale's) and its "logID".
constexpr uint8_t NamesBy(Wanted what) { return static_cast<uint8_t>(1u << static_cast<int>(what)); }
constexpr uint8_t kEveryItemsNames = NamesBy(Wanted::kId) | NamesBy(Wanted::kLogId);

struct Place {
    std::string_view name;
    int8_t parent;          // its row in the table
    Role role;
    bool extra;             // looked for only where the extra options are asked for
    std::string_view item;  // kExtraList: the name of its items
    Extra kind;             // kExtraList: what its items are
    // kExtraList: the element that holds an item's own id where the game leaves it out at its
    // default, 0 (kNone: none), and the names its items answer by.
    Wanted own_id = Wanted::kNone;
    uint8_t names_by = kEveryItemsNames;
};

// Rows are found by their parent's row and their name; the first three lists keep their order.
constexpr Place kPlaces[] = {
    {"", -1, Role::kPlace, false, "", Extra::kLog},  // the document
    {"savegame", 0, Role::kPlace, false, "", Extra::kLog},
    {"game", 1, Role::kPlace, false, "", Extra::kLog},
    {"world", 2, Role::kPlace, false, "", Extra::kLog},
    {"worldPawns", 3, Role::kPlace, false, "", Extra::kLog},
    {"pawnsForcefullyKeptAsWorldPawns", 4, Role::kList, false, "", Extra::kLog},  // kKeptForever
    {"pawnsAlive", 4, Role::kList, false, "", Extra::kLog},                       // kLiving
    {"pawnsMothballed", 4, Role::kList, false, "", Extra::kLog},                  // kMothballed
    {"factionManager", 3, Role::kFactions, false, "", Extra::kLog},
    {"worldObjects", 3, Role::kReferences, false, "", Extra::kLog},
    {"questManager", 2, Role::kReferences, false, "", Extra::kLog},
    {"pawnsDead", 4, Role::kExtraList, true, "li", Extra::kDead},
    {"maps", 2, Role::kPlace, true, "", Extra::kLog},
    {"li", 12, Role::kPlace, true, "", Extra::kLog},  // a map
    {"things", 13, Role::kExtraList, true, "thing", Extra::kFilth},
    {"taleManager", 2, Role::kPlace, true, "", Extra::kLog},
    {"tales", 15, Role::kExtraList, true, "li", Extra::kTale, Wanted::kId},
    {"playLog", 2, Role::kPlace, true, "", Extra::kLog},
    {"entries", 17, Role::kExtraList, true, "li", Extra::kLog},
    {"battleLog", 2, Role::kPlace, true, "", Extra::kLog},
    {"battles", 19, Role::kExtraList, true, "li", Extra::kLog, Wanted::kLoadId, kEveryItemsNames | NamesBy(Wanted::kLoadId)},
    {"rawEntries", 19, Role::kExtraList, true, "li", Extra::kLog},
    {"history", 2, Role::kPlace, true, "", Extra::kLog},
    {"archive", 22, Role::kPlace, true, "", Extra::kLog},
    {"archivables", 23, Role::kExtraList, true, "li", Extra::kLog, Wanted::kArchivedId,
     kEveryItemsNames | NamesBy(Wanted::kArchivedId)},
};

constexpr uint8_t kKeptForever = 5, kLiving = 6, kMothballed = 7, kFactionsRow = 8, kWorldObjectsRow = 9, kQuestsRow = 10;

// The rows named above are the places they name, and every row's parent stands before it.
constexpr bool RowIs(uint8_t row, std::string_view name) { return row < std::size(kPlaces) && kPlaces[row].name == name; }
static_assert(RowIs(kKeptForever, "pawnsForcefullyKeptAsWorldPawns") && RowIs(kLiving, "pawnsAlive") &&
                  RowIs(kMothballed, "pawnsMothballed") && RowIs(kFactionsRow, "factionManager") &&
                  RowIs(kWorldObjectsRow, "worldObjects") && RowIs(kQuestsRow, "questManager"),
              "a row number that names another place");
constexpr bool ParentsFirst() {
    for (size_t row = 1; row < std::size(kPlaces); ++row)
        if (kPlaces[row].parent < 0 || static_cast<size_t>(kPlaces[row].parent) >= row) return false;
    return true;
}
static_assert(ParentsFirst(), "a row whose parent does not stand before it");

}  // namespace cleaner
