// Pruning on hand-made saves: which bytes each entry takes, the step back to an entry's
// start and its limit, the scan for an entry's end and the two scans that would never end.
#include <string>
#include <vector>

#include "cleaner/clean.h"
#include "cleaner/prune.h"
#include "tests/cleaner/literal.h"
#include "tests/cleaner/save_builder.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using namespace savebuild;
using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::ShownBoxes;
using testutil::Str;

class Prune : public testutil::SlotTest {};

cleaner::SaveView View(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size())};
}

// The fast run and the literal one on the same save: same output, same boxes.
std::string CleanedBy(const std::string& save) {
    OwnedBytes file = Bytes(save);
    bool lost = false;
    OwnedBytes out(cleaner::CleanBytes(file.get(), &lost));
    std::string boxes = ShownBoxes();
    ShownBoxes().clear();
    literal::Run expected = literal::Clean(file.get());
    EXPECT_EQ(ShownBoxes(), boxes);
    EXPECT_EQ(expected.output, Str(out));
    EXPECT_EQ(expected.lost, lost);
    return Str(out);
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
    } rows[] = {
        {"middle entries from the line break after the previous item; the last runs to the "
         "list's end",
         leaders, e, {Taken(e[1]), Taken(e[3]), Taken(e[5]) + "\r\n\t\t\t\t"}},
        {"a tag right after a Chinese character", leaders, with_cjk,
         {Taken(e[1]), Taken(hurt), Taken(e[5]) + "\r\n\t\t\t\t"}},
        {"the first entry: nothing before it, taken from section position 17",
         {"Thing_Human0"}, e, {e[0].substr(2, e[0].size() - 4)}},
        {"order of the faction list, repeats taken twice",
         {"Thing_Human4", "Thing_Human2", "Thing_Human4"}, e, {Taken(e[4]), Taken(e[2]), Taken(e[4])}},
    };
    for (const Row& r : rows) {
        ShownBoxes().clear();
        EXPECT_EQ(CleanedBy(Save(r.leaders, r.entries)), Cleaned(r.leaders, r.pieces)) << r.what;
        EXPECT_EQ(ShownBoxes(), "") << r.what;
    }
}

TEST_F(Prune, TellsOfShortEntriesAndMissingLeaders) {
    std::vector<std::string> e = {Entry("Human10"), Entry("Human11"), "\t\t\t\t\t<li><id>S</id></li>\r\n",
                                  Entry("Human13")};
    struct Row {
        std::vector<std::string> leaders;
        std::string boxes;
    } rows[] = {
        {{"Thing_Human10", "Thing_Human12", "Thing_Human11"},
         "[提示：首领信息缺失] 总首领数：3\r\n成功获取的首领数：2\r\n不影响游戏正常运行\r\n请联系作者修复！\n"},
        {{"Thing_Q"},
         "[提示：首领信息缺失] 总首领数：1\r\n成功获取的首领数：0\r\n不影响游戏正常运行\r\n请联系作者修复！\n"},
        {{"Thing_Human10", "Thing_S"}, "[信息] 首领数据获取第：2获取出错\n"},
    };
    for (const Row& r : rows) {
        ShownBoxes().clear();
        CleanedBy(Save(r.leaders, e));
        EXPECT_EQ(ShownBoxes(), r.boxes);
    }
}

TEST_F(Prune, StopsBeforeWritingWhatCannotBeSpliced) {
    const std::string leader = Factions({"Thing_A"});
    const std::string list = "<pawnsAlive>\r\n" + Entry("A") + "</pawnsAlive>";
    struct Row {
        std::string save, boxes;
    } rows[] = {
        {"<factionManager></factionManager>" + list, "[错误] 错误信息：未找到帮派首领信息\n"},
        // With no leaders, that box comes first even without a list.
        {"", "[错误] 错误信息：未找到帮派首领信息\n"},
        {leader + "<pawnsAlive>" + Entry("A"), "[错误] 错误信息：未找到世界人物列表\n"},
        {leader + Entry("A") + "</pawnsAlive>", "[错误] 错误信息：未找到世界人物列表\n"},
        {leader + "</pawnsAlive>" + Entry("A") + "<pawnsAlive>", "[错误] 错误信息：未找到世界人物列表\n"},
    };
    for (const Row& r : rows) {
        ShownBoxes().clear();
        EXPECT_EQ(CleanedBy(r.save), "");
        EXPECT_EQ(ShownBoxes(), r.boxes) << r.save.substr(0, 60);
    }
}

TEST(EntryStart, StepsBackAtMostTenThousandPositions) {
    auto at = [](int32_t gap, bool tag) {  // a "</li>" (or not) `gap` positions before the marker
        std::string s = "<pawnsAlive>" + std::string(20000, ' ');
        size_t p = s.size() - 10;
        if (tag) s.replace(p - gap, 5, "</li>");
        return s + "<id>A</id>";
    };
    struct Row {
        std::string section;
        int32_t p, start;
    } rows[] = {
        {at(10000, true), 20003, 10003},
        {at(10001, true), 20003, cleaner::kEntryStartLost},
        {at(5, true), 20003, 19998},
        {at(0, false), 20003, cleaner::kEntryStartLost},
        {"<pawnsAlive>" + std::string(9988, ' ') + "<id>A</id>", 10000, 12},
        {"<pawnsAlive>" + std::string(9989, ' ') + "<id>A</id>", 10001, cleaner::kEntryStartLost},
        {"</li>", 1, 1},
    };
    for (const Row& r : rows) EXPECT_EQ(cleaner::FindEntryStart(View(r.section), r.p), r.start) << r.p;
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
        cleaner::SaveView v = View(r.section);
        EXPECT_EQ(cleaner::FindEntryEnd(v, r.e0), r.end) << r.what;
    }
}

}  // namespace
