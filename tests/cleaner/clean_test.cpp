// The cleaning run on files: the output's name and content, the boxes, and what is left on
// disk when the output cannot be written.
#include <filesystem>
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
        {"D:\\Saves\\ab.x", {}, "D:\\Saves\\-A.rws"},
        {"Colony.rws", {}, "Colony-A.rws"},
        // A GBK character whose second byte is a backslash is not a separator: the name is
        // its four characters, all dropped.
        {"D:\\\x95\\ab", {}, "D:\\-A.rws"},
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
        cleaner::CleanSave(Path("Colony.rws").c_str());
        EXPECT_EQ(ShownBoxes(), "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path(name) + "\n");
        EXPECT_EQ(Get(name), expected);
        ShownBoxes().clear();
    }
    EXPECT_EQ(Get("Colony.rws"), save);
    EXPECT_LT(expected.size(), save.size() / 2);
}

platform::FileHandle RefuseCreate(const char* path, uint32_t access, uint32_t share, uint32_t creation,
                                  uint32_t attributes) {
    if (access == platform::kGenericWrite) return platform::InvalidFile();
    return platform::DefaultSlots().CreateFileA(path, access, share, creation, attributes);
}

int FailWrite(platform::FileHandle, const void*, uint32_t, uint32_t* written) {
    *written = 0;
    return 0;
}

TEST_F(Clean, ReportsWhatItCannotDoAndLeavesNothingBehind) {
    const std::string save = savebuild::Save({"Thing_Human10"}, {savebuild::Entry("Human10")});
    const std::string no_leaders = "[错误] 错误信息：未找到帮派首领信息\n";
    const std::string not_written = "[错误] 错误信息：存档写入失败：" + Path("Colony-A.rws") + "\n";
    struct Row {
        const char* what;
        bool present;
        std::string content;
        void (*tweak)();
        std::string boxes;
    } rows[] = {
        {"missing file", false, "", [] {}, no_leaders},
        {"empty file", true, "", [] {}, no_leaders},
        {"output cannot be created", true, save, [] { platform::slots.CreateFileA = RefuseCreate; },
         not_written},
        {"write fails after the create", true, save, [] { platform::slots.WriteFile = FailWrite; },
         not_written},
    };
    for (const Row& r : rows) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        if (r.present) Put("Colony.rws", r.content);
        ShownBoxes().clear();
        r.tweak();
        cleaner::CleanSave(Path("Colony.rws").c_str());
        platform::slots = platform::DefaultSlots();
        platform::slots.MessageBoxA = testutil::RecordBox;
        EXPECT_EQ(ShownBoxes(), r.boxes) << r.what;
        EXPECT_EQ(FileCount(), r.present ? 1u : 0u) << r.what;
        if (r.present) {
            EXPECT_EQ(Get("Colony.rws"), r.content) << r.what;
        }
    }
}

void CleanLostSave(const std::string& path) {
    platform::slots.MessageBoxA = testutil::BoxToStderr;
    cleaner::CleanSave(path.c_str());
}

TEST_F(Clean, ErrorCode01EndsTheRunWithNothingWritten) {
    // The leader's marker stands more than 10000 positions after the last "</li>" before it.
    Put("Colony.rws", savebuild::Save({"Thing_A"}, {savebuild::Entry("Human10"),
                                                  "\t\t\t\t\t<li>" + std::string(12000, ' ') + "<id>A</id></li>\r\n"}));
    EXPECT_EXIT(CleanLostSave(Path("Colony.rws")), testing::ExitedWithCode(0),
                testutil::StderrIs("[错误] 错误代码：01\n"));
    EXPECT_EQ(FileCount(), 1u);
}

}  // namespace
