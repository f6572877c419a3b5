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
    const std::pair<std::string, std::string> rows[] = {
        // Items with nested items and ids; the lists beside; references in world objects and quests.
        {"<g>" + factions +
             "<pawnsForcefullyKeptAsWorldPawns><li>Thing_A</li><li>Thing_Z</li></pawnsForcefullyKeptAsWorldPawns>"
             "<pawnsAlive><li><id>A</id><inv><li><id>B</id></li></inv></li>\n<li Class='x'><def>H</def><id>B</id></li>"
             "<li/></pawnsAlive><pawnsMothballed><li><id>M</id></li></pawnsMothballed>"
             "<worldObjects><o><pawns><li>Thing_C</li></pawns></o></worldObjects><questManager>Thing_Q</questManager></g>",
         "leaders B A; held K C Q; living [320-369:A 370-411:B 411-416 ] mothballed [446-465:M ] kept [242-258:A 258-274:Z ]"
         "; markers 343 324"},
        // A leader's id nested in another pawn's item first: that is its marker, not an item of its own.
        {"<g>" + factions + "<pawnsAlive><li><id>C</id><inv><li><id>A</id></li></inv></li><li><id>A</id></li></pawnsAlive></g>",
         "leaders B A; held K; living [221-270:C 270-289:A ] mothballed [](absent) kept [](absent); markers -1 244"},
        // A commented-out copy is no item and no marker; the blank in a tag, a tab before an
        // attribute and an end tag with a blank are spelled as the reader reads them.
        {"<g>" + factions + "<pawnsAlive><!-- <li><id>A</id></li> --><li\tClass=\"a\"><id >A</id></li ></pawnsAlive></g>",
         "leaders B A; held K; living [249-280:A ] mothballed [](absent) kept [](absent); markers -1 263 (spelled otherwise)"},
        // Ids as a reader reads them: a character reference, a CDATA section.
        {"<g>" + factions +
             "<pawnsAlive><li><id>&#65;</id></li><li><id><![CDATA[B]]></id></li><li><id>&#x4E2D;&#128512;&lt;x&gt;</id></li>"
             "</pawnsAlive></g>",
         "leaders B A; held K; living [221-244:A 244-275:B 275-319:\xE4\xB8\xAD\xF0\x9F\x98\x80<x> ] mothballed [](absent) "
         "kept [](absent); markers 248 225 (spelled otherwise)"},
        // Leaders named after the list have no marker there.
        {"<g><pawnsAlive><li><id>A</id></li></pawnsAlive>" + factions + "</g>",
         "leaders B A; held K; living [15-34:A ] mothballed [](absent) kept [](absent); markers -1 -1"},
    };
    for (const auto& [save, expected] : rows) {
        for (size_t chunk = 1; chunk <= save.size(); ++chunk) ASSERT_EQ(Described(save, chunk), expected) << save << " in chunks of " << chunk;
    }
}

}  // namespace
