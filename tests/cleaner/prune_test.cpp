// Pruning on hand-made saves: which bytes each entry takes, the step back to an entry's
// start and its limit, the scan for an entry's end and the two scans that would never end.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "cleaner/clean.h"
#include "cleaner/entry_cuts.h"
#include "cleaner/prune.h"
#include "tests/cleaner/in_memory.h"
#include "tests/cleaner/literal.h"
#include "tests/cleaner/save_builder.h"
#include "tests/cleaner/xml_judge.h"
#include "tests/runtime/helpers.h"
#include "tools/sample_save.h"

namespace {

using namespace runtime;
using namespace savebuild;
using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::ShownBoxes;
using testutil::Str;

class Prune : public testutil::SlotTest {};

// The fast run and the literal one on the same save: same output, same boxes (unless the
// literal steps, which take an item's own id only before any nested item, are known to
// lose a held pawn there).
std::string CleanedBy(const std::string& save, bool as_literal = true) {
    OwnedBytes file = Bytes(save);
    cleaner::Pruned fast = inmemory::Clean(save);
    cleaner::ShowOutcome(fast, "");
    std::string boxes = ShownBoxes();
    ShownBoxes().clear();
    literal::Run expected = literal::Clean(file.get());
    if (as_literal) {
        EXPECT_EQ(ShownBoxes(), boxes);
        EXPECT_EQ(expected.output, inmemory::Joined(save, fast.pieces));
        EXPECT_EQ(expected.lost, fast.halt == cleaner::Halt::kLost);
    }
    ShownBoxes() = boxes;
    return inmemory::Joined(save, fast.pieces);
}

TEST_F(Prune, KeepsTheLeadersEntriesInLeaderOrder) {
    std::vector<std::string> e;
    for (int i = 0; i < 6; ++i) e.push_back(Entry("Human" + std::to_string(i)));
    // A Chinese character (three bytes of 0x80 and above) right before a tag: a GBK search
    // would step over the tag's "<".
    std::string hurt = Entry("Human3", "\t\t\t\t\t\t<tags>\r\n\t\t\t\t\t\t\t<li>\xE4\xBC\xA4</li>\r\n\t\t\t\t\t\t</tags>\r\n");
    std::vector<std::string> with_cjk = e;
    with_cjk[3] = hurt;
    const std::vector<std::string> leaders = {"Thing_Human1", "Thing_Human3", "Thing_Human5"};
    struct Row {
        const char* what;
        std::vector<std::string> leaders, entries, pieces;
        bool item_by_item = false;
    } rows[] = {
        {"middle entries from the line break after the previous item; the last runs to the "
         "list's end",
         leaders, e, {Taken(e[1]), Taken(e[3]), Taken(e[5]) + "\r\n\t\t\t\t"}},
        {"a tag right after a Chinese character", leaders, with_cjk,
         {Taken(e[1]), Taken(hurt), Taken(e[5]) + "\r\n\t\t\t\t"}},
        {"the first entry: nothing before it, taken from section position 17",
         {"Thing_Human0"}, e, {e[0].substr(2, e[0].size() - 4)}},
        {"order of the faction list; a leader named twice is written once, each item on a line of its own",
         {"Thing_Human4", "Thing_Human2", "Thing_Human4"}, e, {Held(e[4]), Held(e[2])}, true},
    };
    for (const Row& r : rows) {
        ShownBoxes().clear();
        EXPECT_EQ(CleanedBy(Save(r.leaders, r.entries)),
                  r.item_by_item ? Rewritten(r.leaders, r.pieces) : Cleaned(r.leaders, r.pieces))
            << r.what;
        EXPECT_EQ(ShownBoxes(), "") << r.what;
    }
}

TEST_F(Prune, KeepsThePawnsTheSaveHoldsByReference) {
    std::vector<std::string> e;
    for (int i = 0; i < 6; ++i) e.push_back(Entry("Human" + std::to_string(i)));
    const std::vector<std::string> leader = {"Thing_Human1"};
    auto world = [](const std::string& inner) { return "<worldObjects>\r\n" + inner + "</worldObjects>\r\n"; };
    auto caravan = [&](const std::vector<std::string>& ids) { return Around{"", "", world(Refs("pawns", ids))}; };
    // Items the walk must read right: a pawn that wears a thing with an id of its own, one
    // whose id comes after a nested item, one with look-alike tags before its id.
    std::vector<std::string> odd = e;
    odd[2] = Entry("Human2", "\t\t\t\t\t\t<apparel>\r\n\t\t\t\t\t\t\t<li><id>Parka7</id></li>\r\n\t\t\t\t\t\t</apparel>\r\n");
    odd[3] = "\t\t\t\t\t<li>\r\n\t\t\t\t\t\t<tags><li>x</li></tags>\r\n" + Entry("Human3").substr(12);
    odd[4] = "\t\t\t\t\t<li>\r\n\t\t\t\t\t\t<lifeStage>Adult</lifeStage><li Class=\"Gene\" />\r\n" + Entry("Human4").substr(12);
    // A long comment before the leader's "<li>": its entry runs on to the list's end.
    std::vector<std::string> gap = e;
    gap[1] = "\t\t\t\t\t<!-- " + std::string(60, '=') + " -->\r\n" + e[1];
    struct Row {
        const char* what;
        std::vector<std::string> entries;
        Around around;
        std::vector<std::string> pieces;
        bool item_by_item = false;  // the cuts miss: each item kept on a line of its own
        bool as_literal = true;
    } rows[] = {
        {"a caravan's pawns, after the leaders, in list order, each once", e,
         caravan({"Human4", "Human2", "Human4"}), {Taken(e[1]), Held(e[2]), Held(e[4])}},
        {"pods in flight", e, {"", "", world(Refs("tmpSavedPawns", {"Human3"}))}, {Taken(e[1]), Held(e[3])}},
        {"kidnapped colonists, in two lists; the first is the list's first item", e,
         {"", Refs("kidnappedPawns", {"Human0"}) + Refs("kidnappedPawns", {"Human2"}), ""},
         {Taken(e[1]), Held(e[0]), Held(e[2])}},
        {"colonists lent on a quest: the list's last item", e,
         {"<questManager>\r\n" + Refs("lentColonists", {"Human5"}) + "</questManager>\r\n", "", ""},
         {Taken(e[1]), Held(e[5])}},
        {"a leader held too is taken once", e, caravan({"Human1"}), {Taken(e[1])}},
        {"a pawn that is not in the list", e, caravan({"Human9"}), {Taken(e[1])}},
        {"a thing a pawn wears, a pawn whose id (its first id child) follows a nested item, look-alike tags", odd,
         caravan({"Parka7", "Human3", "Human4"}), {Taken(odd[1]), Held(odd[3]), Held(odd[4])}, false, false},
        {"a leader's entry that runs on through a held pawn: each written as itself, once", gap, caravan({"Human3"}),
         {Held(e[1]), Held(e[3])}, true},
        {"a world-objects region that a broken save never closes holds its pawns all the same", e,
         {"", "", "<worldObjects>\r\n" + Refs("pawns", {"Human2"})}, {Taken(e[1]), Held(e[2])}, false, false},
        {"kidnapped pawns outside the faction section hold nothing", e, {"", "", Refs("kidnappedPawns", {"Human2"})},
         {Taken(e[1])}},
    };
    for (const Row& r : rows) {
        ShownBoxes().clear();
        const std::string save = Save(leader, r.entries, r.around);
        const std::string out = CleanedBy(save, r.as_literal);
        EXPECT_EQ(out, r.item_by_item ? Rewritten(leader, r.pieces, r.around) : Cleaned(leader, r.pieces, r.around))
            << r.what;
        EXPECT_EQ(ShownBoxes(), "") << r.what;
        EXPECT_EQ(WellFormed(out), WellFormed(save)) << r.what;
    }
}

// Every box the run shows, and what it writes then: nothing without leaders or without a
// list; with a short entry or leaders missing (held pawns or not) the output all the same.
TEST_F(Prune, TellsWhatItTakesAndWhatItCannot) {
    std::vector<std::string> e = {Entry("Human10"), Entry("Human11"), "\t\t\t\t\t<li><id>S</id></li>\r\n",
                                  Entry("Human13")};
    const std::string missing = "[提示：首领信息缺失] 总首领数：%\r\n成功获取的首领数：%\r\n不影响游戏正常运行\r\n请联系作者修复！\n";
    auto of = [&missing](const char* n, const char* m) {
        std::string s = missing;
        s.replace(s.find('%'), 1, n);
        return s.replace(s.find('%'), 1, m);
    };
    const std::string no_leaders = "[错误] 错误信息：未找到帮派首领信息\n", no_list = "[错误] 错误信息：未找到世界人物列表\n";
    const std::string leader = Factions({"Thing_A"}), list = "<pawnsAlive>\r\n" + Entry("A") + "</pawnsAlive>";
    const Around caravan{"", "", "<worldObjects>" + Refs("pawns", {"Human11"}) + "</worldObjects>"};
    const std::string cut_short = "[错误] 错误信息：存档读取失败：\r\n存档不完整：文件在存档结尾之前中断\n";
    struct Row {
        std::string save, boxes, output;
        bool as_literal = true;
    } rows[] = {
        {Save({"Thing_Human10", "Thing_Human12", "Thing_Human11"}, e), of("3", "2"), "written"},
        {Save({"Thing_Q"}, e), of("1", "0"), "written"},
        {"\xEF\xBB\xBF\r\n\t" + Save({"Thing_Q"}, e).substr(3), of("1", "0"), "written"},  // the mark, then blanks
        {Save({"Thing_Human10", "Thing_S"}, e), "[信息] 首领数据获取第：2获取出错\n", "written"},
        {Save({"Thing_Q"}, e, caravan), of("1", "0"), Cleaned({"Thing_Q"}, {Held(e[1])}, caravan)},
        {Save({}, e, caravan), no_leaders, ""},
        {"<savegame><factionManager></factionManager>" + list + "</savegame>", no_leaders, ""},
        {"", no_leaders, ""},  // that box comes first even without a list
        {"<savegame><game><world>" + leader + Entry("A") + "</pawnsAlive></world></game></savegame>", no_list, ""},
        // A file that is no XML at all (a zip, a picture, a text renamed) is told as one
        // without leaders, whatever markup its bytes hold later.
        {std::string("PK\x03\x04\x14\0\0\0", 8) + "<savegame>" + leader + list, no_leaders, "", false},
        {"\x89PNG\r\n\x1a\n<savegame>" + leader + list, no_leaders, "", false},
        {"Colony notes: <savegame>" + leader + list + "</savegame>", no_leaders, "", false},
        {"\xEF\xBB<savegame>" + leader + list + "</savegame>", no_leaders, "", false},
        // A save that ends inside its document is cut short, whatever else it lacks.
        {leader + "<pawnsAlive>" + Entry("A"), cut_short, "", false},
        {leader + "</pawnsAlive>" + Entry("A") + "<pawnsAlive>", cut_short, "", false},
    };
    for (const Row& r : rows) {
        ShownBoxes().clear();
        const std::string out = CleanedBy(r.save, r.as_literal);
        EXPECT_EQ(ShownBoxes(), r.boxes) << r.save.substr(0, 60);
        if (r.output == "written") {
            EXPECT_FALSE(out.empty());
        } else {
            EXPECT_EQ(out, r.output);
        }
    }
}

// A region is the element at its place from the root, closed by its own end tag: one whose
// end tag is missing or misspelt is none (its box, nothing written); the same name spelled
// elsewhere (inside a tale, a mod's component) is text of what holds it.
TEST_F(Prune, RegionsByTheirPlace) {
    const std::vector<std::string> e = {Entry("Human0"), Entry("Human1"), Entry("Human2")};
    const std::vector<std::string> leader = {"Thing_Human1"};
    const std::string whole = Save(leader, e), no_leaders = "[错误] 错误信息：未找到帮派首领信息\n",
                      no_list = "[错误] 错误信息：未找到世界人物列表\n";
    const auto with = [&whole](const std::string& from, const std::string& to) {
        std::string s = whole;
        return s.replace(s.find(from), from.size(), to);
    };
    const std::string copy = "<pawnsAlive>" + Entry("Human1") + "</pawnsAlive><factionManager><li><leader>Thing_Human0</leader>"
                             "</li></factionManager>";
    const Around tale{"<taleManager><tales><li>" + copy + "</li></tales></taleManager>\r\n", "", ""};
    const Around mod{"", "", "<modComponent>" + copy + "</modComponent>\r\n"};
    const std::pair<std::string, std::string> rows[] = {
        {with("</pawnsAlive>", ""), no_list},
        {with("</pawnsAlive>", "</pawnsAliv>"), no_list},
        {with("</factionManager>", ""), no_leaders},
        {with("</factionManager>", "</factionManagr>"), no_leaders},
        {with("<factionManager>", "<factionManagr>"), no_leaders},
        {Save(leader, e, tale), Cleaned(leader, {Taken(e[1])}, tale)},
        {Save(leader, e, mod), Cleaned(leader, {Taken(e[1])}, mod)},
    };
    for (const auto& [save, expected] : rows) {
        ShownBoxes().clear();
        const std::string out = CleanedBy(save, false);
        const bool halts = expected.find("[错误]") == 0;
        EXPECT_EQ(halts ? ShownBoxes() : out, expected) << save.substr(0, 400);
        EXPECT_EQ(out.empty(), halts);
    }
}

// The pawns of the game's list of pawns kept whatever happens are held: each one's item stays
// in the living and in the mothballed list, cleaned or not, and the list stays as it is.
TEST_F(Prune, KeepsThePawnsTheGameKeepsForever) {
    std::vector<std::string> saves;
    for (const char* name : {"FlatLand-B18.rws", "RATS-1.5.rws"}) {
        std::ifstream in(std::filesystem::path(SORREL_SAVES_DIR) / name, std::ios::binary);
        if (in) saves.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (uint64_t seed : {3, 4}) {
        tools::SampleOptions o;
        o.seed = seed, o.mothballed = 6, o.compact = seed == 4;
        saves.push_back(tools::GenerateSave(o));
    }
    const auto ids = [](const cleaner::SaveIndex& index, const cleaner::ItemList& list) {
        std::set<std::string> out;
        for (const cleaner::Item& item : list.items)
            if (item.has_id) out.insert(std::string(index.Id(item)));
        return out;
    };
    for (const std::string& save : saves) {
        cleaner::SaveIndex in;
        cleaner::MemorySource source({reinterpret_cast<const uint8_t*>(save.data()), save.size()});
        ASSERT_TRUE(cleaner::IndexSave(source, &in));
        const std::set<std::string> kept = ids(in, in.kept_forever);
        ASSERT_FALSE(kept.empty());
        const cleaner::Span list{in.kept_forever.open.begin, in.kept_forever.close.end};
        const std::string listed = save.substr(static_cast<size_t>(list.begin), static_cast<size_t>(list.end - list.begin));
        for (bool mothballed : {false, true}) {
            cleaner::CleanOptions options;
            options.mothballed = mothballed;
            const std::string out = inmemory::Joined(save, inmemory::Clean(save, options).pieces);
            cleaner::SaveIndex after;
            cleaner::MemorySource again({reinterpret_cast<const uint8_t*>(out.data()), out.size()});
            ASSERT_TRUE(cleaner::IndexSave(again, &after));
            EXPECT_NE(out.find(listed), std::string::npos) << mothballed;
            for (const auto& [before, now] : {std::pair{&in.living, &after.living}, std::pair{&in.mothballed, &after.mothballed}}) {
                const std::set<std::string> had = ids(in, *before), has = ids(after, *now);
                for (const std::string& id : kept) EXPECT_EQ(had.count(id), has.count(id)) << id << " mothballed " << mothballed;
            }
        }
    }
}

TEST(EntryEnd, EndsOnEveryInput) {
    struct Row {
        const char* what;
        std::string section;
        int32_t e0, end;
    } rows[] = {
        {"ends at depth 0", "<pawnsAlive>/></li></li><li Class><li>", 13, 20},
        {"closing tags run out at depth 0", "<pawnsAlive>/>", 13, -1},
        {"closing tags run out at depth 1: through the list's end",
         "<pawnsAlive></li>/></li></li><li>", 13, 33 - 17},
        // At depth 1 both searches run out and start over from the beginning: the passes
        // come round to one made before.
        {"passes come round again", "></li></li><li>/>", 1, 17 - 17},
        // No "/>" anywhere and no class item after the closing tag: every class item counts
        // as closing itself, and the class-item loop goes round for ever.
        {"class items round for ever", "></li></li><li>", 1, 15 - 17},
    };
    for (const Row& r : rows) {
        cleaner::TextInMemory text(reinterpret_cast<const uint8_t*>(r.section.data()), static_cast<int32_t>(r.section.size()));
        EXPECT_EQ(cleaner::FindEntryEnd(text, r.e0), r.end) << r.what;
    }
}

}  // namespace

namespace {

// A pawn's item spelled as a tool may spell it: `open` for its start tag, `inside` after its
// id line, `close` for its end tag.
std::string Spelled(const std::string& id, const std::string& open, const std::string& inside = "",
                    const std::string& close = "</li>") {
    return open + "\r\n\t\t\t\t\t\t<def>Human</def>\r\n\t\t\t\t\t\t<id>" + id + "</id>\r\n" + inside +
           "\t\t\t\t\t\t<skills>" + std::string(300, 's') + "</skills>\r\n\t\t\t\t\t" + close;
}

// Each spelling an XML reader accepts: the output is XML, holds the leader's own top-level
// item byte for byte and no other pawn's, and is the same read in chunks of every size.
TEST_F(Prune, EverySpellingAnXmlReaderAccepts) {
    const std::string other = Entry("Human5"), last = Entry("Human7");
    const std::string nested = Entry("Human5", "\t\t\t\t\t\t<inventory><li><id>Human10</id></li></inventory>\r\n");
    struct Row {
        const char* what;
        std::string before, leader, after;  // the list: other pawns and the leader's item between them
    } rows[] = {
        {"a tab before an attribute", other, Spelled("Human10", "<li\tClass=\"Pawn\">"), last},
        {"a line break inside a tag", other, Spelled("Human10", "<li\r\n\t\t\t\t\t\tClass=\"Pawn\">"), last},
        {"single quotes, \">\" in a value", other, Spelled("Human10", "<li Class='Pawn' note=\"a>b\">"), last},
        {"a comment holding tags", other, Spelled("Human10", "<li>", "\t\t\t\t\t\t<!-- old: </li> <li> -->\r\n"), last},
        {"a CDATA section holding tags", other, Spelled("Human10", "<li>", "\t\t\t\t\t\t<note><![CDATA[</li><li>]]></note>\r\n"), last},
        {"an end tag with a blank before its \">\"", other, Spelled("Human10", "<li>", "", "</li >"), last},
        {"the leader's id nested in another pawn first", nested, Spelled("Human10", "<li>"), last},
        {"a commented-out copy first", other + "<!-- <li><id>Human10</id></li> -->", Spelled("Human10", "<li>"), last},
        {"a processing instruction between items", other + "<?note x?>", Spelled("Human10", "<li>"), "<?note y?>" + last},
        {"empty items in a compact list", "<li/><li\t/>", Spelled("Human10", "<li>"), "<li/>"},
    };
    for (const Row& r : rows) {
        const std::string save = Save({"Thing_Human10"}, {r.before, "\t\t\t\t\t" + r.leader + "\r\n", r.after});
        const std::string out = inmemory::Joined(save, inmemory::Clean(save).pieces);
        EXPECT_EQ(judge::Unsound(save, out), "") << r.what;
        EXPECT_NE(out.find(r.leader), std::string::npos) << r.what;
        EXPECT_EQ(out.find("<id>Human5</id>"), std::string::npos) << r.what;
        EXPECT_EQ(out.find("<id>Human7</id>"), std::string::npos) << r.what;
        for (size_t chunk = 1; chunk < 120; ++chunk)
            ASSERT_EQ(inmemory::Joined(save, inmemory::Clean(save, {}, chunk).pieces), out) << r.what << ", chunks of " << chunk;
    }
}

}  // namespace
