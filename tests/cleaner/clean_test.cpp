// The cleaning run on files: the output's name and content, the boxes, and what is left on
// disk when the output cannot be written.
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "cleaner/clean.h"
#include "tests/cleaner/literal.h"
#include "tests/cleaner/save_builder.h"
#include "tests/runtime/helpers.h"
#include "tools/sample_save.h"

namespace {

using namespace runtime;
using testutil::Bytes;
using testutil::OwnedText;
using testutil::ShownBoxes;
using testutil::Str;
namespace fs = std::filesystem;

std::set<std::string>& Existing() {
    static std::set<std::string> paths;
    return paths;
}
int FakeExists(const char* path) { return Existing().count(path) ? 1 : 0; }

TEST(OutputPath, AddsDashAUntilTheNameIsFree) {
    struct Row {
        const char* input;
        std::set<std::string> existing;
        const char* output;
    } rows[] = {
        {"C:\\Saves\\Colony.rws", {}, "C:\\Saves\\Colony-A.rws"},
        {"C:\\Saves\\Colony.rws", {"C:\\Saves\\Colony-A.rws"}, "C:\\Saves\\Colony-A-A.rws"},
        {"C:\\Saves\\Colony.rws", {"C:\\Saves\\Colony-A.rws", "C:\\Saves\\Colony-A-A.rws"},
         "C:\\Saves\\Colony-A-A-A.rws"},
        {"C:\\Saves\\Colony-A.rws", {"C:\\Saves\\Colony-A.rws"}, "C:\\Saves\\Colony-A-A.rws"},
        {"C:\\Saves\\Colony.RWS", {}, "C:\\Saves\\Colony-A.rws"},
        // A name without ".rws" keeps all it has; the folder is never cut into.
        {"D:\\Saves\\ab.x", {}, "D:\\Saves\\ab.x-A.rws"},
        {"saves/sub/ab", {}, "saves/sub/ab-A.rws"},
        {"D:\\存档\\ab", {}, "D:\\存档\\ab-A.rws"},
        {"D:\\Saves\\.rws", {}, "D:\\Saves\\-A.rws"},
        {"Colony.rws", {}, "Colony-A.rws"},
    };
    for (const Row& r : rows) {
        Existing() = r.existing;
        platform::slots.PathFileExistsA = FakeExists;
        OwnedText out(cleaner::BuildOutputPath(r.input));
        platform::slots = platform::DefaultSlots();
        EXPECT_EQ(Str(out), r.output) << r.input;
    }
}

class Clean : public testutil::FolderTest {
protected:
    Clean() : FolderTest("clean_test_tmp") {}
    size_t FileCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
};

TEST_F(Clean, WritesTheCleanedSaveBesideTheInput) {
    tools::SampleOptions o;
    o.cjk = true;
    const std::string save = tools::GenerateSave(o);
    testutil::OwnedBytes bytes = Bytes(save);
    const std::string expected = literal::Clean(bytes.get()).output;
    Put("Colony.rws", save);
    ShownBoxes().clear();

    for (const char* name : {"Colony-A.rws", "Colony-A-A.rws"}) {
        cleaner::CleanSave(Path("Colony.rws").c_str(), {});
        EXPECT_EQ(ShownBoxes(), "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path(name) + "\n");
        EXPECT_EQ(Get(name), expected);
        ShownBoxes().clear();
    }
    EXPECT_EQ(Get("Colony.rws"), save);
    EXPECT_LT(expected.size(), save.size() / 2);
}

int NothingExists(const char*) { return 0; }  // every name looks free until the create

// Another program takes the output's name just before the move.
std::string& Appearing() {
    static std::string path;
    return path;
}
int TakenBeforeTheMove(const char* new_name, const char* existing) {
    std::ofstream(Appearing(), std::ios::binary) << "someone else's";
    return platform::DefaultSlots().CreateHardLinkA(new_name, existing);
}
int ShortWrite(platform::FileHandle f, const void* data, uint32_t size, uint32_t* written) {
    return platform::DefaultSlots().WriteFile(f, data, size / 2, written);
}
int CannotRemove(const char*) { return 0; }
int NoSecondNames(const char*, const char*) { return 0; }
uint32_t NotSupported() { return 50; }  // ERROR_NOT_SUPPORTED

// No file bears a save's name before it is whole, and nothing that stands at a name is
// opened, emptied or replaced: a name taken at the create of the partial file, or at the
// move to its name, gives way to the next one; a partial file that cannot be removed stays
// under its ".part" name only.
TEST_F(Clean, WritesUnderAPartNameAndMovesOnlyToAFreeName) {
    const std::string save = savebuild::Save({"Thing_Human10"}, {savebuild::Entry("Human10")});
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, std::string>> before;  // files standing there
        void (*tweak)();
        std::string box;              // the box, naming this file of the folder
        std::set<std::string> after;  // the folder's files after the run, the save's besides
    } rows[] = {
        {"a file appears at the name after the check", {{"Colony-A.rws", "x"}},
         [] { platform::slots.PathFileExistsA = NothingExists; }, "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A-A.rws",
         {"Colony-A.rws", "Colony-A-A.rws"}},
        {"a partial file left by a run that was stopped", {{"Colony-A.rws.part", "x"}}, [] {},
         "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A-A.rws", {"Colony-A.rws.part", "Colony-A-A.rws"}},
        {"a file appears at the name just before the move", {}, [] { platform::slots.CreateHardLinkA = TakenBeforeTheMove; },
         "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A-A.rws", {"Colony-A.rws", "Colony-A-A.rws"}},
        {"no second names on this file system: a move that replaces nothing", {},
         [] { platform::slots.CreateHardLinkA = NoSecondNames, platform::slots.GetLastError = NotSupported; },
         "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A.rws", {"Colony-A.rws"}},
        {"a write that fails, its partial file not removable", {},
         [] { platform::slots.WriteFile = ShortWrite, platform::slots.DeleteFileA = CannotRemove; },
         "[错误] 错误信息：存档写入失败：Colony-A.rws", {"Colony-A.rws.part"}},
    };
    for (const Row& r : rows) {
        SetUp();
        Put("Colony.rws", save);
        for (const auto& [name, content] : r.before) Put(name, content);
        Appearing() = Path("Colony-A.rws");
        r.tweak();
        cleaner::CleanReport report = cleaner::CleanSave(Path("Colony.rws").c_str(), {});
        platform::slots = platform::DefaultSlots();
        const size_t cut = r.box.rfind('C');
        EXPECT_EQ(ShownBoxes(), r.box.substr(0, cut) + Path(r.box.substr(cut)) + "\n") << r.what;
        std::set<std::string> files, expected = r.after;
        for (const auto& entry : fs::directory_iterator(dir_)) files.insert(entry.path().filename().string());
        expected.insert("Colony.rws");
        EXPECT_EQ(files, expected) << r.what;
        EXPECT_EQ(report.left_behind != nullptr, !report.written()) << r.what;
    }
}

bool refused = false;  // the shortening below: another program's, while the run holds the save
void Shorten() {
    std::error_code error;
    fs::resize_file(fs::path("clean_test_tmp") / "Colony.rws", 100, error);
    refused = refused || error;
}
const void* ShortenOnceViewed(platform::FileHandle mapping, uint32_t access, uint32_t high, uint32_t low, size_t size) {
    const void* view = platform::DefaultSlots().MapViewOfFile(mapping, access, high, low, size);
    Shorten();
    return view;
}
int ShortenAtAWrite(platform::FileHandle f, const void* data, uint32_t size, uint32_t* written) {
    Shorten();
    return platform::DefaultSlots().WriteFile(f, data, size, written);
}

// On Linux a save shortened to 100 bytes before the output takes its name gets the read-failure
// box, whatever was read (lost pages read as zeros), and leaves nothing. Windows refuses the
// shortening while the run holds the save, and the run writes it.
TEST_F(Clean, ASaveShortenedWhileHeld) {
    tools::SampleOptions o;
    o.size = 2000000;
    o.mothballed = 200;  // kept whole: the output's tail is 1.2 MB, written from the view as it lies
    const std::string save = tools::GenerateSave(o);
    const std::string expected = literal::Clean(Bytes(save).get()).output;
    const bool held = !platform::kConsoleProgram;  // the Windows program
    for (void (*tweak)() : {+[] { platform::slots.MapViewOfFile = ShortenOnceViewed; },
                            +[] { platform::slots.WriteFile = ShortenAtAWrite; }}) {
        SetUp();
        Put("Colony.rws", save);
        refused = false;
        tweak();
        cleaner::CleanReport report = cleaner::CleanSave(Path("Colony.rws").c_str(), {});
        platform::slots = platform::DefaultSlots();
        EXPECT_EQ(refused, held);
        EXPECT_EQ(ShownBoxes(), held ? "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path("Colony-A.rws") + "\n"
                                     : "[错误] 错误信息：存档读取失败：" + Path("Colony.rws") + "\n");
        EXPECT_EQ(report.written() ? Get("Colony-A.rws") : "", held ? expected : "");
        EXPECT_EQ(FileCount(), held ? 2u : 1u);
    }
}

TEST_F(Clean, ErrorCode01WritesNothing) {
    // The leader's marker stands more than 10000 positions after the last "</li>" before it.
    Put("Colony.rws", savebuild::Save({"Thing_A"}, {savebuild::Entry("Human10"),
                                                  "\t\t\t\t\t<li>" + std::string(12000, ' ') + "<id>A</id></li>\r\n"}));
    cleaner::CleanReport report = cleaner::CleanSave(Path("Colony.rws").c_str(), {});
    EXPECT_TRUE(report.lost);
    EXPECT_FALSE(report.written());
    EXPECT_EQ(ShownBoxes(), "[错误] 错误代码：01\n");
    EXPECT_EQ(FileCount(), 1u);
}

}  // namespace
