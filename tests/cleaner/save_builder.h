// Small hand-made saves in the game's layout, for tests that need to know every byte.
#pragma once

#include <string>
#include <vector>

namespace savebuild {

constexpr char kSep[] = "\r\n\t\t\t\t\t";
constexpr char kListEnd[] = "\r\n\t\t\t\t<";

// One world-pawn entry, from its indentation through its own line break: nested "<li>"
// items, a "<li Class" item closed by ">" with its own "</li>", one closed by "/>". `inner`
// goes right after the id line.
inline std::string Entry(const std::string& id, const std::string& inner = "") {
    return "\t\t\t\t\t<li>\r\n\t\t\t\t\t\t<def>Human</def>\r\n\t\t\t\t\t\t<id>" + id + "</id>\r\n" + inner +
           "\t\t\t\t\t\t<hediffs>\r\n"
           "\t\t\t\t\t\t\t<li Class=\"Hediff_Injury\">\r\n\t\t\t\t\t\t\t\t<severity>0.5</severity>\r\n"
           "\t\t\t\t\t\t\t</li>\r\n"
           "\t\t\t\t\t\t\t<li Class=\"Hediff_MissingPart\" />\r\n"
           "\t\t\t\t\t\t</hediffs>\r\n"
           "\t\t\t\t\t\t<skills>\r\n"
           "\t\t\t\t\t\t\t<li>\r\n\t\t\t\t\t\t\t\t<def>Shooting</def>\r\n\t\t\t\t\t\t\t\t<level>5</level>\r\n"
           "\t\t\t\t\t\t\t</li>\r\n"
           "\t\t\t\t\t\t\t<li>\r\n\t\t\t\t\t\t\t\t<def>Melee</def>\r\n\t\t\t\t\t\t\t\t<level>7</level>\r\n"
           "\t\t\t\t\t\t\t</li>\r\n"
           "\t\t\t\t\t\t</skills>\r\n"
           "\t\t\t\t\t</li>\r\n";
}

// A faction section naming these leader values, references far more than 500 apart.
inline std::string Factions(const std::vector<std::string>& leaders) {
    std::string s = "\t\t\t<factionManager>\r\n";
    for (const std::string& l : leaders)
        s += "\t\t\t\t<li>\r\n\t\t\t\t\t<leader>" + l + "</leader>\r\n\t\t\t\t\t<relations>" +
             std::string(600, 'r') + "</relations>\r\n\t\t\t\t</li>\r\n";
    return s + "\t\t\t</factionManager>\r\n";
}

constexpr char kHead[] = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<savegame>\r\n";
constexpr char kListOpen[] = "\t\t\t<worldPawns>\r\n\t\t\t\t<pawnsAlive>\r\n";
constexpr char kListClose[] = "\t\t\t\t</pawnsAlive>\r\n\t\t\t\t<pawnsDead />\r\n\t\t\t</worldPawns>\r\n</savegame>\r\n";

inline std::string Save(const std::vector<std::string>& leaders, const std::vector<std::string>& entries) {
    std::string s = kHead + Factions(leaders) + kListOpen;
    for (const std::string& e : entries) s += e;
    return s + kListClose;
}

// What the cleaner writes for that save when it keeps `pieces`.
inline std::string Cleaned(const std::vector<std::string>& leaders, const std::vector<std::string>& pieces) {
    std::string s = kHead + Factions(leaders) + "\t\t\t<worldPawns>\r\n\t\t\t\t<pawnsAlive>\r";
    for (const std::string& p : pieces) s += kSep + p;
    return s + kListEnd + (kListClose + 5);
}

// An entry as the cleaner takes it from the middle of the list: from the line break after
// the previous "</li>" through its own "</li>".
inline std::string Taken(const std::string& entry) { return "\r\n" + entry.substr(0, entry.size() - 2); }

}  // namespace savebuild
