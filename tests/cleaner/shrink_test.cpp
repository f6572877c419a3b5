// The options' rule: an extra item goes only when nothing the output keeps names it or a
// thing inside it, and it goes when only what the run removes names it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cleaner/clean.h"
#include "tests/cleaner/in_memory.h"
#include "tests/cleaner/xml_judge.h"

namespace {

// The extra items of the save below, by short name.
const std::pair<const char*, std::string> kItems[] = {
    {"F", "<thing Class=\"Filth\"><def>Filth_Dirt</def><id>Filth_Dirt1</id></thing>"},
    {"T1", "<li><id>1</id><pawnData><pawn>Thing_D2</pawn></pawnData></li>"},
    {"T0", "<li><def>Tale</def></li>"},  // no id: tale 0
    {"P", "<li><logID>9</logID><initiator>Thing_D3</initiator></li>"},
    {"B", "<li><loadID>3</loadID><entries><li><logID>7</logID></li></entries></li>"},
    {"A", "<li Class=\"Letter\"><ID>4</ID></li>"},
    {"D1", "<li><def>Human</def><id>D1</id><apparel><li><def>Pants</def><id>P1</id></li></apparel></li>"},
    {"D2", "<li><def>Human</def><id>D2</id></li>"},
    {"D3", "<li><def>Human</def><id>D3</id></li>"},
    {"D4", "<li><def>Human</def><id>D4</id><otherPawn>Thing_D5</otherPawn></li>"},  // D4 and D5 name each other
    {"D5", "<li><def>Human</def><id>D5</id><otherPawn>Thing_D4</otherPawn></li>"},
};

std::string Item(const std::string& name) {
    for (const auto& [short_name, item] : kItems)
        if (name == short_name) return item;
    return "";
}

// A save in which L leads and R is removed by the default rule; `leader`, `removed`, `things`
// and `map` go into L's item, R's item, the map's things and the map after them.
std::string Save(const std::string& leader, const std::string& removed, const std::string& things, const std::string& map) {
    return "<savegame><game><taleManager><tales>" + Item("T1") + Item("T0") + "</tales></taleManager><playLog><entries>" +
           Item("P") + "</entries></playLog><battleLog><battles>" + Item("B") +
           "</battles></battleLog><history><archive><archivables>" + Item("A") +
           "</archivables></archive></history><world><factionManager><li><leader>Thing_L</leader></li></factionManager>"
           "<worldPawns><pawnsForcefullyKeptAsWorldPawns><li>Thing_R</li></pawnsForcefullyKeptAsWorldPawns><pawnsAlive>\n<li><def>Human</def><id>L</id>" + leader + "</li>\n<li><def>Human</def><id>R</id>" +
           removed + "</li>\n</pawnsAlive><pawnsDead>" + Item("D1") + Item("D2") + Item("D3") + Item("D4") + Item("D5") +
           "</pawnsDead></worldPawns></world><maps><li><things><thing Class=\"Plant\"><def>Grass</def><id>Plant1</id></thing>" +
           Item("F") + things + "</things>" + map + "</li></maps></game></savegame>";
}

cleaner::CleanOptions Options(const std::string& names) {
    cleaner::CleanOptions options;
    std::istringstream words(names);
    for (std::string word; words >> word;) {
        const char* const kinds[] = {"filth", "tales", "logs", "dead"};
        for (size_t kind = 0; kind < cleaner::kExtraKinds; ++kind)
            if (word == kinds[kind] || word == "all") options.extras[kind] = true;
    }
    return options;
}

TEST(Shrink, RemovesWhatNothingKeptNames) {
    struct Row {
        const char* options;
        std::string leader, removed, things, map;
        const char* gone;  // the extra items removed, in file order
    };
    const std::string corpse = "<thing Class=\"Corpse\"><def>Corpse_Human</def><id>Corpse1</id><innerPawn>Thing_D1</innerPawn></thing>";
    const std::string grave = "<thing Class=\"Building_Grave\"><def>Grave</def><id>Grave1</id><innerContainer><innerList>" +
                              std::string("<li Class=\"Corpse\"><innerPawn>Thing_D1</innerPawn></li>") +
                              "</innerList></innerContainer></thing>";
    const std::string relation = "<social><directRelations><li><otherPawn>Thing_D1</otherPawn></li></directRelations></social>";
    const Row rows[] = {
        {"all", "", "", "", "", "T1 T0 P B A D1 D2 D3 D4 D5 F"},
        {"filth", "", "", "", "<reservations><li><target>Thing_Filth_Dirt1</target></li></reservations>", ""},
        {"filth", "<curJob><targetA>Thing_Filth_Dirt1</targetA></curJob>", "", "", "", ""},
        {"filth", "", "<curJob><targetA>Thing_Filth_Dirt1</targetA></curJob>", "", "", "F"},
        {"tales", "", "", "<thing Class=\"Art\"><taleRef><tale>Tale_1</tale></taleRef></thing>", "", "T0"},
        {"tales", "", "", "<thing Class=\"Art\"><taleRef><tale>Tale_0</tale></taleRef></thing>", "", "T1"},
        {"dead", "", "", corpse, "", "D4 D5"},
        {"dead", "", "", grave, "", "D4 D5"},
        {"dead", relation, "", "", "", "D4 D5"},
        {"dead", "", relation, "", "", "D1 D4 D5"},
        {"dead", "<carried>Thing_P1</carried>", "", "", "", "D4 D5"},  // a thing inside the dead pawn
        {"dead tales", "", "", "<taleRef><tale>Tale_1</tale></taleRef>", "", "T0 D1 D4 D5"},
        {"dead logs", "", "", "", "", "P B A D1 D3 D4 D5"},
        {"logs", "<combatLogEntry>LogEntry_100_7</combatLogEntry>", "", "", "", "P A"},
        {"logs", "<battleActive>Battle_3</battleActive>", "", "", "", "P A"},
        {"logs", "<battleActive>Battle_0</battleActive>", "", "", "", "P B A"},  // a battle of id 0 is none of these
        {"logs", "", "", "", "<letterStack><letters><li>Letter_4</li></letters></letterStack>", "P B"},
    };
    for (const Row& row : rows) {
        const std::string save = Save(row.leader, row.removed, row.things, row.map);
        const std::string plain = inmemory::Joined(save, inmemory::Clean(save).pieces);
        const cleaner::Pruned pruned = inmemory::Clean(save, Options(row.options));
        // The default run's output less exactly the items gone (the save holds no blank).
        std::string expected = plain;
        for (const auto& [name, item] : kItems) {
            if (expected.find(item) == std::string::npos) continue;  // the default rule's
            const bool removed = (" " + std::string(row.gone) + " ").find(" " + std::string(name) + " ") != std::string::npos;
            if (removed) expected.erase(expected.find(item), item.size());
        }
        EXPECT_EQ(inmemory::Joined(save, pruned.pieces), expected) << row.options << " / " << row.gone;
        EXPECT_EQ(inmemory::Joined(save, inmemory::Clean(save, Options(row.options), 7).pieces), expected);
        if (judge::kAvailable) {
            EXPECT_TRUE(judge::WellFormed(inmemory::Joined(save, pruned.pieces)));
        }
    }
}

}  // namespace
