// Texts and attributes of the save as an XML reader reads them, and the references they
// may be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace cleaner {

inline bool IsMarkupSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text as an XML reader gives it: the five entities and character references replaced;
// anything else stays as it stands.
std::string Decoded(std::string_view text);

// The text without the XML blanks at either end.
std::string_view Trimmed(std::string_view text);

// The value of the attribute `name` among a start tag's attributes, decoded, as an XML reader
// reads it: pairs of a name, "=" and a quoted value, blanks between; false where it is not
// there whole (the tag's attributes cut before it, or spelled as no reader takes them).
bool AttributeValue(std::string_view attributes, std::string_view name, std::string* value);

// The class named by a start tag's attributes is filth: after its last dot "Filth",
// "LiquidFuel", or beginning "Filth_". A class not read whole is none.
bool IsFilth(std::string_view attributes);

// The elements the rules ask for wherever they stand, one row each: its name, and the sets it
// is asked in (Ids): "id" (the leaders' markers in the living list), the names an extra item
// answers to by, or in the faction section its leaders and kidnapped lists. The rules name
// what they find by its row (Wanted); the walk's compares look for a "<" with a name's first
// two letters (block_looks.h), and read a name no further than the longest.
enum class Ids : uint8_t { kNone, kId, kExtraIds, kFactionNames };
enum class Wanted : uint8_t { kId, kArchivedId, kLogId, kLoadId, kLeader, kKidnapped, kNone };
struct WantedName {
    Wanted what;
    std::string_view name;
    bool in[4];  // by Ids
};
inline constexpr WantedName kWantedNames[] = {
    {Wanted::kId, "id", {false, true, true, false}},
    {Wanted::kArchivedId, "ID", {false, false, true, false}},
    {Wanted::kLogId, "logID", {false, false, true, false}},
    {Wanted::kLoadId, "loadID", {false, false, true, false}},
    {Wanted::kLeader, "leader", {false, false, false, true}},
    {Wanted::kKidnapped, "kidnappedPawns", {false, false, false, true}},
};
constexpr bool RowsInOrder() {
    for (size_t i = 0; i < std::size(kWantedNames); ++i)
        if (static_cast<size_t>(kWantedNames[i].what) != i || kWantedNames[i].name.size() < 2) return false;
    return std::size(kWantedNames) == static_cast<size_t>(Wanted::kNone);
}
static_assert(RowsInOrder(), "a row for each Wanted, in its order, each name of two letters or more");
constexpr std::string_view NameOf(Wanted what) { return kWantedNames[static_cast<size_t>(what)].name; }
// The row of the name, whatever the set (kNone: no row).
constexpr Wanted WantedOf(std::string_view name) {
    for (const WantedName& row : kWantedNames)
        if (row.name == name) return row.what;
    return Wanted::kNone;
}
constexpr size_t kLongestWanted = [] {
    size_t longest = 0;
    for (const WantedName& row : kWantedNames) longest = row.name.size() > longest ? row.name.size() : longest;
    return longest;
}();
constexpr bool AskedIn(Wanted what, Ids ids) {
    return what != Wanted::kNone && kWantedNames[static_cast<size_t>(what)].in[static_cast<size_t>(ids)];
}
inline bool IsWanted(std::string_view name, Ids ids) { return ids != Ids::kNone && AskedIn(WantedOf(name), ids); }

// The reference forms: a leaf text that is one of these and an id names an item. Every rule
// that reads a form takes it from here.
enum class Form : uint8_t { kThing, kTale, kLogEntry, kBattle, kLetter, kMessage, kArchivedDialog };
inline constexpr std::string_view kReferenceForms[] = {"Thing_", "Tale_", "LogEntry_", "Battle_", "Letter_", "Message_",
                                                       "ArchivedDialog_"};
static_assert(std::size(kReferenceForms) == static_cast<size_t>(Form::kArchivedDialog) + 1, "a form for each Form");
constexpr std::string_view FormOf(Form form) { return kReferenceForms[static_cast<size_t>(form)]; }

// By a text's first byte, the forms that begin with it (at most two, -1 for none), and whether
// a reference may begin with it (after blanks): the first letter of a form, or "&".
inline constexpr struct FormLetters {
    int8_t forms[256][2] = {};
    bool of[256] = {};
    constexpr FormLetters() {
        for (auto& pair : forms) pair[0] = pair[1] = -1;
        for (size_t f = 0; f < std::size(kReferenceForms); ++f) {
            const auto c = static_cast<uint8_t>(kReferenceForms[f][0]);
            if (forms[c][1] >= 0) throw "three forms begin with one letter";  // no constant: the build stops
            forms[c][forms[c][0] < 0 ? 0 : 1] = static_cast<int8_t>(f);
            of[c] = true;
        }
        of[static_cast<uint8_t>('&')] = true;
    }
} kFormLetters{};
inline bool MayBeginReference(uint8_t c) { return kFormLetters.of[c]; }

// How a text (as it stands, not yet decoded) may begin: with a reference form, with part of
// one (what it holds so far could go on to be one), or otherwise. A character reference cut
// by the text's end so far is left for later.
enum class Start : uint8_t { kNone, kPart, kForm };
Start StartOf(std::string_view raw);

// The text (decoded, trimmed) is a reference: "Thing_", "Tale_", "LogEntry_", "Battle_",
// "Letter_", "Message_" or "ArchivedDialog_" and an id.
bool IsReferenceForm(std::string_view text);

// The raw text from `p` (its first byte that is no blank) may be a reference: it begins with
// a form, or with part of one up to its first "<" (markup may come there, and the text go on
// after it), or an entity comes first (judged once decoded). Reads to p[15].
bool MayStartReference(const uint8_t* p);

}  // namespace cleaner
