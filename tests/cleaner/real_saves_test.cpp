// The two saves the game wrote itself: the run ends with the success box, the output is
// well-formed XML, and every entry kept is a piece of the input's list, cut whole.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cleaner/clean.h"
#include "tests/cleaner/literal.h"
#include "tests/cleaner/save_builder.h"
#include "tests/runtime/helpers.h"

namespace {

using savebuild::WellFormed;
using testutil::ReadAll;
using testutil::ShownBoxes;
namespace fs = std::filesystem;

// The output is the input's head, then pieces each behind "\r\n\t\t\t\t\t", then the list's
// end and the input's tail. Each piece must be one run of bytes of the input's list.
void ExpectPiecesOfTheList(const std::string& in, const std::string& out, size_t* pieces) {
    const std::string sep = "\r\n\t\t\t\t\t";
    size_t a = in.find("<pawnsAlive"), z = in.find("</pawnsAlive");
    ASSERT_NE(a, std::string::npos);
    const std::string list = in.substr(a, z - a);
    // Through the byte after "<pawnsAlive>"; from the "/" of "</pawnsAlive>".
    const size_t head = a + 13, tail = in.size() - z - 1;
    ASSERT_EQ(out.compare(0, head, in, 0, head), 0);
    ASSERT_EQ(out.compare(out.size() - tail, tail, in, z + 1, tail), 0);
    std::string middle = out.substr(head, out.size() - tail - head);
    ASSERT_EQ(middle.substr(middle.size() - 7), "\r\n\t\t\t\t<");
    middle.resize(middle.size() - 7);

    for (size_t pos = 0; pos < middle.size();) {
        ASSERT_EQ(middle.compare(pos, sep.size(), sep), 0) << "no separator at " << pos;
        pos += sep.size();
        // Where the piece's first bytes stand in the list, and how far it runs on alike.
        size_t longest = 0;
        const std::string start = middle.substr(pos, 200);
        for (size_t at = list.find(start); at != std::string::npos; at = list.find(start, at + 1)) {
            size_t n = 0;
            while (pos + n < middle.size() && at + n < list.size() && middle[pos + n] == list[at + n]) ++n;
            longest = std::max(longest, n);
        }
        ASSERT_GT(longest, 0u) << "a piece that is not in the list, at " << pos;
        // It ends where the next separator (or the end) begins, within that run.
        size_t end = pos + longest;
        while (end > pos && end < middle.size() && middle.compare(end, sep.size(), sep) != 0) --end;
        ASSERT_GT(end, pos);
        pos = end;
        ++*pieces;
    }
}

class RealSaves : public testutil::SlotTest {};

TEST_F(RealSaves, CleanToWellFormedSavesOfWholeEntries) {
    const fs::path saves = SORREL_SAVES_DIR;
    if (!fs::exists(saves)) GTEST_SKIP() << "no real saves at " << saves.string();
    const fs::path dir = "real_saves_tmp";
    for (const char* name : {"FlatLand-B18.rws", "RATS-1.5.rws"}) {
        SCOPED_TRACE(name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        const std::string in = ReadAll(saves / name);
        ASSERT_FALSE(in.empty());
        ASSERT_TRUE(WellFormed(in));
        std::ofstream(dir / "save.rws", std::ios::binary) << in;

        ShownBoxes().clear();
        cleaner::CleanSave((dir / "save.rws").string().c_str());
        const std::string boxes = ShownBoxes();
        const std::string out = ReadAll(dir / "save-A.rws");
        fs::remove_all(dir);

        const std::string success = "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：";
        ASSERT_NE(boxes.find(success), std::string::npos) << boxes;
        EXPECT_EQ(boxes.find('\n', boxes.find(success)), boxes.size() - 1) << "the success box is the last";
        EXPECT_TRUE(WellFormed(out));
        size_t pieces = 0;
        ExpectPiecesOfTheList(in, out, &pieces);
        EXPECT_GT(pieces, 0u);
        std::printf("%s: %zu of %zu bytes kept, %zu entries\n", name, out.size(), in.size(), pieces);
        testutil::OwnedBytes bytes = testutil::Bytes(in);
        literal::Run expected = literal::Clean(bytes.get());
        EXPECT_EQ(expected.output, out);
        EXPECT_TRUE(expected.held.empty()) << "these saves hold no world pawn by reference";
        EXPECT_LT(out.size(), in.size());
    }
}

}  // namespace
