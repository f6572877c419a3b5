// The options' rule: an extra item goes only when nothing the output keeps names it or a
// thing inside it, and it goes when only what the run removes names it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cleaner/assemble.h"
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
           "<worldPawns><pawnsForcefullyKeptAsWorldPawns><li>Thing_L</li></pawnsForcefullyKeptAsWorldPawns><pawnsAlive>\n<li><def>Human</def><id>L</id>" + leader + "</li>\n<li><def>Human</def><id>R</id>" +
           removed + "</li>\n</pawnsAlive><pawnsDead>" + Item("D1") + Item("D2") + Item("D3") + Item("D4") + Item("D5") +
           "</pawnsDead></worldPawns></world><maps><li><things><thing Class=\"Plant\"><def>Grass</def><id>Plant1</id></thing>" +
           Item("F") + things + "</things>" + map + "</li></maps></game></savegame>";
}

// An id of `n` bytes, and a filth thing of that id.
std::string Long(size_t n) { return "Filth_" + std::string(n - 6, 'x'); }
std::string Filth(const std::string& id) { return "<thing Class=\"Filth\"><def>Filth_Dirt</def><id>" + id + "</id></thing>"; }

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
        std::string gone;  // the extra items removed
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
        // A reference as a reader reads it: its first letter a character reference, blanks
        // around it. (X: the row's own things.)
        {"all", "<r>&#84;hing_D2</r>", "", "", "", "T1 T0 P B A D1 D3 D4 D5 F"},
        {"all", "<r>&#x54;ale_1</r>", "", "", "", "T0 P B A D1 D3 D4 D5 F"},
        {"all", "<r> &#x4C;ogEntry_100_9\t</r>", "", "", "", "T1 T0 B A D1 D2 D4 D5 F"},
        {"all", "<r>&#66;attle_3</r>", "", "", "", "T1 T0 P A D1 D2 D3 D4 D5 F"},
        {"all", "<r>\r\n\t&#76;etter_4 </r>", "", "", "", "T1 T0 P B D1 D2 D3 D4 D5 F"},
        {"all", "<r>&#x4D;essage_4</r>", "", "", "", "T1 T0 P B D1 D2 D3 D4 D5 F"},
        {"all", "<r>&#65;rchivedDialog_4</r>", "", "", "", "T1 T0 P B D1 D2 D3 D4 D5 F"},
        {"all", "<r>  Thing_Filth_Dirt1  </r>", "", "", "", "T1 T0 P B A D1 D2 D3 D4 D5"},
        // Ids and references of any length.
        {"all", "<r>Thing_" + Long(255) + "</r>", "", Filth(Long(255)), "", "T1 T0 P B A D1 D2 D3 D4 D5 F"},
        {"all", "<r>Thing_" + Long(256) + "</r>", "", Filth(Long(256)), "", "T1 T0 P B A D1 D2 D3 D4 D5 F"},
        {"all", "<r>&#x54;hing_" + Long(257) + "</r>", "", Filth(Long(257)), "", "T1 T0 P B A D1 D2 D3 D4 D5 F"},
        {"all", "<r>Thing_" + Long(4000) + " </r>", "", Filth(Long(4000)), "", "T1 T0 P B A D1 D2 D3 D4 D5 F"},
        {"all", "", "", Filth(Long(4000)), "", "T1 T0 P B A D1 D2 D3 D4 D5 F X"},
        // A class is the attribute named Class, its value decoded, whatever others hold.
        {"filth", "", "", "<thing note=' Class=\"Filth\"' Class=\"Door\"><id>Door1</id></thing>", "", "F"},
        {"filth", "", "", "<thing note=\" Class='Filth'\" Class='Door'><id>Door1</id></thing>", "", "F"},
        {"filth", "", "", "<thing xClass=\"Filth\"><id>Door1</id></thing>", "", "F"},
        {"filth", "", "", "<thing Class=\"Filth&amp;\"><id>Door1</id></thing>", "", "F"},
        {"filth", "", "", "<thing\tClass = 'Verse.Filth_Blood' ><id>Filth_Blood1</id></thing>", "", "F X"},
        {"filth", "", "", "<thing note='a>b' Class=\"&#70;il&#x74;h\"><id>Filth_Blood1</id></thing>", "", "F X"},
        {"filth", "", "", "<thing note=\"\" Class='Filth'><id>Filth_Blood1</id></thing>", "", "F X"},
    };
    for (const Row& row : rows) {
        const std::string save = Save(row.leader, row.removed, row.things, row.map);
        const std::string plain = inmemory::Joined(save, inmemory::Clean(save).pieces);
        const cleaner::Pruned pruned = inmemory::Clean(save, Options(row.options));
        // The default run's output less exactly the items gone (the save holds no blank).
        std::string expected = plain;
        const auto gone = [&row](const std::string& name) { return (" " + row.gone + " ").find(" " + name + " ") != std::string::npos; };
        for (const auto& [name, item] : kItems) {
            if (expected.find(item) == std::string::npos) continue;  // the default rule's
            if (gone(name)) expected.erase(expected.find(item), item.size());
        }
        if (gone("X")) expected.erase(expected.find(row.things), row.things.size());
        EXPECT_EQ(inmemory::Joined(save, pruned.pieces), expected) << row.options << " / " << row.gone;
        EXPECT_EQ(inmemory::Joined(save, inmemory::Clean(save, Options(row.options), 7).pieces), expected);
        if (judge::kAvailable) {
            EXPECT_TRUE(judge::WellFormed(inmemory::Joined(save, pruned.pieces)));
        }
    }
}

}  // namespace

namespace {

// A list or a section spelled inside an item the options may remove is part of that item:
// with each option the output is XML. Pieces that would overlap are never written.
TEST(Shrink, ARegionSpelledInsideAnItem) {
    const std::string region[] = {"<pawnsAlive><li><def>Human</def><id>L</id></li></pawnsAlive>",
                                  "<factionManager><li><leader>Thing_L</leader></li></factionManager>",
                                  "<pawnsMothballed><li><id>L</id></li></pawnsMothballed>"};
    for (const std::string& inside : region) {
        for (const char* host : {"T1", "P", "D2"}) {
            std::string save = Save("", "", "", "");
            const std::string item = Item(host);
            save.insert(save.find(item) + item.size() - 5, inside);  // before the item's "</li>"
            for (const char* options : {"filth", "tales", "logs", "dead", "all"}) {
                const cleaner::Pruned pruned = inmemory::Clean(save, Options(options));
                const std::string out = inmemory::Joined(save, pruned.pieces);
                EXPECT_EQ(pruned.halt, cleaner::Halt::kNone) << host << " " << options;
                EXPECT_TRUE(!judge::kAvailable || judge::WellFormed(out)) << host << " " << options << "\n" << inside;
            }
        }
    }
    // The assembly takes splices only in file order, each after the one before, inside the file.
    const std::vector<cleaner::Splice> wrong[] = {{{5, 9, {}}, {7, 12, {}}}, {{5, 9, {}}, {2, 3, {}}}, {{5, 30, {}}}};
    for (const std::vector<cleaner::Splice>& splices : wrong) {
        std::vector<cleaner::Piece> pieces = {cleaner::Stretch(0, 1)};
        EXPECT_FALSE(cleaner::OutputPieces(20, splices, &pieces));
        EXPECT_TRUE(pieces.empty());
    }
}

}  // namespace
