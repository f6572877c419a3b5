// Sample saves in the game's layout, made up from a seed: the same options give the same
// bytes. Tests, the benchmark and the demo use them; no large save is kept in the project.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

struct SampleOptions {
    uint64_t seed = 1;
    int64_t size = 0;        // about this many bytes (the list of pawns grows to it); 0: no target
    int32_t pawns = 12;      // at least this many world pawns
    int32_t leaders = 3;     // factions led by one of the world pawns
    bool cjk = false;        // Chinese names and items, in UTF-8
    bool crlf = true;        // CR LF line ends, as the game writes them on Windows; else LF
    bool compact = false;    // no whitespace between tags at all, as some tools write saves
    bool spaces = false;     // two spaces a level instead of a tab
    bool empty_items = false;  // "<li />" items inside each pawn
    bool leader_twice = false; // the first leader named by one more faction
    // One pawn in two spelled otherwise than the game spells it, as an XML reader takes it:
    // blanks, tabs and line breaks in tags, single quotes, ">" in an attribute, a comment
    // and a CDATA section holding tags, an instruction between items.
    bool odd_spellings = false;
    // World pawns the game no longer updates, in a list after the living ones: every second
    // leader and one held pawn are among them, and a list of pawns kept whatever happens
    // (before the living ones; the pawns it names are held) names a leader, pawns of both
    // lists and a pawn of neither.
    int32_t mothballed = 0;
    bool far_marker = false; // a leader's id more than 10000 bytes into its entry: error code 01

    // World pawns the save holds by reference elsewhere, each chosen among those that lead
    // no faction.
    int32_t caravan = 0;     // members of a caravan on the world map
    int32_t pods = 0;        // passengers of transport pods in flight
    int32_t kidnapped = 0;   // colonists a faction has kidnapped
    int32_t quest = 0;       // colonists lent away on a quest
    // References, in the caravan, that keep nothing more: to a leader's pawn, to a thing
    // worn by a pawn, to a pawn that is not in the list, and to the pawn after a leader
    // whose entry runs on through it (a long comment before the leader's "<li>" puts the
    // entry's own opening tag out of the end scan's count).
    bool ref_leader = false;
    bool ref_nested = false;
    bool ref_missing = false;
    bool ref_swallowed = false;

    // What the options may remove, at this scale: as many dead world pawns, tales and play-log
    // entries, four times as many filth things on a map, a battle and an archived letter for
    // every four. Some are held: corpses and a grave on the map name every third and seventh
    // dead pawn, tales name dead pawns and art names every fifth tale, a colonist on the map
    // names a battle, a battle's entry and a dead pawn, reservations name every fiftieth
    // filth and the letter stack every second letter.
    int32_t extras = 0;
    // Dead world pawns after those, each named only by the one before (a relation), the
    // first by the world: what nothing but that chain keeps.
    int32_t chain = 0;
};

std::string GenerateSave(const SampleOptions& options);

// The id of the i-th world pawn (from 0), as its entry and a leader reference spell it.
std::string PawnId(int32_t i);

}  // namespace tools
