// The two saves the game wrote itself: the run ends with the success box, and the output is
// well-formed XML, the literal steps' own, and as large as it has always been.
#include <filesystem>
#include <fstream>
#include <string>

#include "cleaner/clean.h"
#include "tests/cleaner/literal.h"
#include "tests/cleaner/save_builder.h"
#include "tests/runtime/helpers.h"

namespace {

using savebuild::WellFormed;
using testutil::ReadAll;
using testutil::ShownBoxes;
namespace fs = std::filesystem;

class RealSaves : public testutil::SlotTest {};

TEST_F(RealSaves, CleanToWellFormedSavesOfWholeEntries) {
    const fs::path saves = SORREL_SAVES_DIR;
    if (!fs::exists(saves)) GTEST_SKIP() << "no real saves at " << saves.string();
    const fs::path dir = "real_saves_tmp";
    struct Row {
        const char* name;
        size_t size, entries;  // of the output
    } rows[] = {{"FlatLand-B18.rws", 474800, 5}, {"RATS-1.5.rws", 2632668, 8}};
    for (const Row& r : rows) {
        const char* name = r.name;
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
        testutil::OwnedBytes bytes = testutil::Bytes(in);
        literal::Run expected = literal::Clean(bytes.get());
        EXPECT_EQ(expected.output, out);
        EXPECT_EQ(out.size(), r.size);
        EXPECT_EQ(expected.pieces.size(), r.entries);
        EXPECT_TRUE(expected.held.empty()) << "these saves hold no world pawn by reference";
    }
}

}  // namespace
