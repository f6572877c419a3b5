// What one pass over a save finds: lists and their top-level items, leaders, held references,
// the leaders' markers; the same whatever the chunks the save is read in.
#include "cleaner/save_index.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Items(const cleaner::SaveIndex& index, const cleaner::ItemList& list) {
    std::string out = "[";
    for (const cleaner::Item& item : list.items)
        out += std::to_string(item.begin) + "-" + std::to_string(item.end) + (item.has_id ? ":" + std::string(index.Id(item)) : "") + " ";
    return out + (list.Present() ? "]" : "](absent)");
}

std::string Described(const std::string& save, size_t chunk) {
    cleaner::MemorySource source({reinterpret_cast<const uint8_t*>(save.data()), save.size()}, chunk);
    cleaner::SaveIndex index;
    if (!cleaner::IndexSave(source, &index)) return "unread";
    std::string out = "leaders";
    for (cleaner::IdRef ref : index.leaders) out += " " + std::string(index.Id(ref));
    out += "; held";
    for (cleaner::IdRef ref : index.held) out += " " + std::string(index.Id(ref));
    out += "; living " + Items(index, index.living) + " mothballed " + Items(index, index.mothballed) + " kept " +
           Items(index, index.kept_forever) + "; markers";
    for (int64_t at : index.markers) out += " " + std::to_string(at);
    return out + (index.marker_spelled_otherwise ? " (spelled otherwise)" : "");
}

// Each row's save is indexed alike in chunks of every size from one byte.
TEST(Index, FindsTheListsItemsAndReferences) {
    const std::string factions =
        "<factionManager><li><leader>Thing_B</leader><kidnapped><kidnappedPawns><li>Thing_K</li></kidnappedPawns>"
        "</kidnapped></li><li><leader>Faction_1</leader></li><li><leader>Thing_A</leader></li></factionManager>";
    // A save with its regions at their places: the faction section and the world pawns in the
    // world, the world's objects after them, the quests after the world.
    const auto save = [&factions](const std::string& pawns, const std::string& world = "", const std::string& game = "") {
        return "<savegame><game><world>" + factions + "<worldPawns>" + pawns + "</worldPawns>" + world + "</world>" + game +
               "</game></savegame>";
    };
    const std::pair<std::string, std::string> rows[] = {
        // Items with nested items and ids; the lists beside; references in world objects and quests.
        {save("<pawnsForcefullyKeptAsWorldPawns><li>Thing_A</li><li>Thing_Z</li></pawnsForcefullyKeptAsWorldPawns>"
              "<pawnsAlive><li><id>A</id><inv><li><id>B</id></li></inv></li>\n<li Class='x'><def>H</def><id>B</id></li>"
              "<li/></pawnsAlive><pawnsMothballed><li><id>M</id></li></pawnsMothballed>",
              "<worldObjects><o><pawns><li>Thing_C</li></pawns></o></worldObjects>", "<questManager>Thing_Q</questManager>"),
         "leaders B A; held K C Q; living [352-401:A 402-443:B 443-448 ] mothballed [478-497:M ] kept [274-290:A 290-306:Z ]"
         "; markers 375 356"},
        // A leader's id nested in another pawn's item first: that is its marker, not an item of its own.
        {save("<pawnsAlive><li><id>C</id><inv><li><id>A</id></li></inv></li><li><id>A</id></li></pawnsAlive>"), "leaders B A; held K; living [253-302:C 302-321:A ] mothballed [](absent) kept [](absent); markers -1 276"},
        // A commented-out copy is no item and no marker; the blank in a tag, a tab before an
        // attribute and an end tag with a blank are spelled as the reader reads them.
        {save("<pawnsAlive><!-- <li><id>A</id></li> --><li\tClass=\"a\"><id >A</id></li ></pawnsAlive>"), "leaders B A; held K; living [281-312:A ] mothballed [](absent) kept [](absent); markers -1 295 (spelled otherwise)"},
        // Ids as a reader reads them: a character reference, a CDATA section.
        {save("<pawnsAlive><li><id>&#65;</id></li><li><id><![CDATA[B]]></id></li><li><id>&#x4e2D;&#x1F600;&lt;x&gt;</id></li>"
              "</pawnsAlive>"),
         "leaders B A; held K; living [253-276:A 276-307:B 307-351:\xE4\xB8\xAD\xF0\x9F\x98\x80<x> ] mothballed [](absent) "
         "kept [](absent); markers 280 257 (spelled otherwise)"},
        // Leaders named after the list have no marker there.
        {"<savegame><game><world><worldPawns><pawnsAlive><li><id>A</id></li></pawnsAlive></worldPawns>" + factions +
             "</world></game></savegame>",
         "leaders B A; held K; living [47-66:A ] mothballed [](absent) kept [](absent); markers -1 -1"},
    };
    for (const auto& [text, expected] : rows) {
        const std::string& save = text;
        for (size_t chunk = 1; chunk <= save.size(); ++chunk) ASSERT_EQ(Described(save, chunk), expected) << save << " in chunks of " << chunk;
    }
}

}  // namespace
