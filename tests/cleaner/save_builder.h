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

// A faction section naming these leader values, references far more than 500 apart;
// `inside` goes in the first faction.
inline std::string Factions(const std::vector<std::string>& leaders, const std::string& inside = "") {
    std::string s = "\t\t\t<factionManager>\r\n";
    for (size_t i = 0; i < leaders.size(); ++i)
        s += "\t\t\t\t<li>\r\n\t\t\t\t\t<leader>" + leaders[i] + "</leader>\r\n" + (i == 0 ? inside : "") +
             "\t\t\t\t\t<relations>" + std::string(600, 'r') + "</relations>\r\n\t\t\t\t</li>\r\n";
    return s + "\t\t\t</factionManager>\r\n";
}

constexpr char kHead[] = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<savegame>\r\n\t<game>\r\n";
constexpr char kWorld[] = "\t\t<world>\r\n";
constexpr char kListOpen[] = "\t\t\t<worldPawns>\r\n\t\t\t\t<pawnsAlive>\r\n";
constexpr char kListClose[] = "\t\t\t\t</pawnsAlive>\r\n\t\t\t\t<pawnsDead />\r\n\t\t\t</worldPawns>\r\n";
constexpr char kEnd[] = "\t\t</world>\r\n\t</game>\r\n</savegame>\r\n";

// What a save holds besides its factions and its list: `before` stands in the game before its
// world, `factions` inside the first faction, `after` in the world after the list.
struct Around {
    std::string before, factions, after;
};

inline std::string Save(const std::vector<std::string>& leaders, const std::vector<std::string>& entries,
                        const Around& around = {}) {
    std::string s = kHead + around.before + kWorld + Factions(leaders, around.factions) + kListOpen;
    for (const std::string& e : entries) s += e;
    return s + kListClose + around.after + kEnd;
}

// What the cleaner writes for that save when it keeps `pieces`.
inline std::string Cleaned(const std::vector<std::string>& leaders, const std::vector<std::string>& pieces,
                           const Around& around = {}) {
    std::string s = kHead + around.before + kWorld + Factions(leaders, around.factions) +
                    "\t\t\t<worldPawns>\r\n\t\t\t\t<pawnsAlive>\r";
    for (const std::string& p : pieces) s += kSep + p;
    return s + kListEnd + (kListClose + 5) + around.after + kEnd;
}

// The same when each item kept stands on a line of its own: the list's opening tag, each
// item behind kSep, then a line break and four tabs before the closing tag.
inline std::string Rewritten(const std::vector<std::string>& leaders, const std::vector<std::string>& items,
                             const Around& around = {}) {
    std::string s = kHead + around.before + kWorld + Factions(leaders, around.factions) +
                    "\t\t\t<worldPawns>\r\n\t\t\t\t<pawnsAlive>";
    for (const std::string& item : items) s += kSep + item;
    return s + "\r\n" + kListClose + around.after + kEnd;
}

// References "<li>Thing_" + id + "</li>" to each id, inside `tag`.
inline std::string Refs(const std::string& tag, const std::vector<std::string>& ids) {
    std::string s = "<" + tag + ">\r\n";
    for (const std::string& id : ids) s += "\t<li>Thing_" + id + "</li>\r\n";
    return s + "</" + tag + ">\r\n";
}

// A list item kept because the save holds it: from its "<li" through its "</li>".
inline std::string Held(const std::string& entry) { return entry.substr(5, entry.size() - 7); }

// Tags balance, in order; declarations, comments and self-closing tags stand alone.
inline bool WellFormed(const std::string& x) {
    std::vector<std::string> open;
    int roots = 0;
    for (size_t i = x.find('<'); i != std::string::npos; i = x.find('<', i)) {
        if (x.compare(i, 2, "<?") == 0 || x.compare(i, 4, "<!--") == 0) {
            size_t end = x.find(x[i + 1] == '?' ? "?>" : "-->", i);
            if (end == std::string::npos) return false;
            i = end + 2;
            continue;
        }
        size_t end = x.find('>', i);
        if (end == std::string::npos) return false;
        std::string tag = x.substr(i + 1, end - i - 1);
        i = end + 1;
        if (tag.empty()) return false;
        if (tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1)) return false;
            open.pop_back();
        } else if (tag.back() != '/') {
            if (open.empty()) ++roots;
            open.push_back(tag.substr(0, tag.find_first_of(" \t\r\n")));
        } else if (open.empty()) {
            ++roots;
        }
    }
    return open.empty() && roots == 1;
}

// An entry as the cleaner takes it from the middle of the list: from the line break after
// the previous "</li>" through its own "</li>".
inline std::string Taken(const std::string& entry) { return "\r\n" + entry.substr(0, entry.size() - 2); }

}  // namespace savebuild
