// The cleaning run on files: the output's name and content, the boxes, and what is left on
// disk when the output cannot be written.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

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
        cleaner::CleanSave(Path("Colony.rws").c_str());
        EXPECT_EQ(ShownBoxes(), "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path(name) + "\n");
        EXPECT_EQ(Get(name), expected);
        ShownBoxes().clear();
    }
    EXPECT_EQ(Get("Colony.rws"), save);
    EXPECT_LT(expected.size(), save.size() / 2);
}

int ShortWrite(platform::FileHandle f, const void* data, uint32_t size, uint32_t* written) {
    return platform::DefaultSlots().WriteFile(f, data, size / 2, written);
}
uint32_t HugeSize(platform::FileHandle, uint32_t* high) {
    *high = 0;
    return 0x80000000u;  // 2 GiB
}
int NothingExists(const char*) { return 0; }  // every name looks free until the create

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A save that cannot be read or an output that cannot be written: the box that says so, the
// input unchanged, and nothing created or removed but the one file the run made. (Links and
// FIFOs are met on real files in the end-to-end tests; the runtime's own tests go through
// every way a create or a write fails.)
TEST_F(Clean, ReportsWhatItCannotDoAndTouchesNothingElse) {
    const std::string save = savebuild::Save({"Thing_Human10"}, {savebuild::Entry("Human10")});
    const std::string path = Path("Colony.rws");
    const std::string missing = "[错误] 错误信息：存档不存在：" + path + "\n";
    const std::string unreadable = "[错误] 错误信息：存档读取失败：" + path + "\n";
    const std::string not_written = "[错误] 错误信息：存档写入失败：" + Path("Colony-A.rws") + "\n";
    auto success = [this](const char* name) {
        return "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path(name) + "\n";
    };
    using Setup = void (*)(const fs::path& dir, const std::string& save);
    auto put = [](const fs::path& dir, const std::string& save) { std::ofstream(dir / "Colony.rws", std::ios::binary) << save; };
    struct Row {
        const char* what;
        Setup setup;
        void (*tweak)();
        std::string boxes;
        const char* made;  // the one file the run adds, or null
    } rows[] = {
        {"missing save", [](const fs::path&, const std::string&) {}, [] {}, missing, nullptr},
        {"a folder", [](const fs::path& d, const std::string&) { fs::create_directory(d / "Colony.rws"); }, [] {},
         unreadable, nullptr},
        {"2 GiB", put, [] { platform::slots.GetFileSize = HugeSize; }, unreadable, nullptr},
        {"empty save", [](const fs::path& d, const std::string&) { std::ofstream(d / "Colony.rws") << ""; }, [] {},
         "[错误] 错误信息：未找到帮派首领信息\n", nullptr},
        {"a short write: the file made is taken away", put, [] { platform::slots.WriteFile = ShortWrite; },
         not_written, nullptr},
        {"a file appears at the name after the check",
         [](const fs::path& d, const std::string& s) {
             std::ofstream(d / "Colony.rws", std::ios::binary) << s;
             std::ofstream(d / "Colony-A.rws") << "someone else's";
         },
         [] { platform::slots.PathFileExistsA = NothingExists; }, success("Colony-A-A.rws"), "Colony-A-A.rws"},
    };
    for (const Row& r : rows) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        r.setup(dir_, save);
        std::vector<std::string> expected = Listing(dir_);
        const std::string input = fs::is_regular_file(path) ? Get("Colony.rws") : "";
        const std::string other = fs::is_regular_file(dir_ / "Colony-A.rws") ? Get("Colony-A.rws") : "";
        if (r.made != nullptr) expected.push_back(r.made);
        std::sort(expected.begin(), expected.end());

        ShownBoxes().clear();
        r.tweak();
        cleaner::CleanSave(path.c_str());
        platform::slots = platform::DefaultSlots();
        platform::slots.MessageBoxA = testutil::RecordBox;
        EXPECT_EQ(ShownBoxes(), r.boxes) << r.what;
        EXPECT_EQ(Listing(dir_), expected) << r.what;
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(Get("Colony.rws"), input) << r.what;
        }
        if (fs::is_regular_file(dir_ / "Colony-A.rws")) {
            EXPECT_EQ(Get("Colony-A.rws"), other) << r.what;
        }
        EXPECT_FALSE(fs::exists(dir_ / "elsewhere")) << r.what;
    }
}

TEST_F(Clean, ErrorCode01WritesNothing) {
    // The leader's marker stands more than 10000 positions after the last "</li>" before it.
    Put("Colony.rws", savebuild::Save({"Thing_A"}, {savebuild::Entry("Human10"),
                                                  "\t\t\t\t\t<li>" + std::string(12000, ' ') + "<id>A</id></li>\r\n"}));
    cleaner::CleanReport report = cleaner::CleanSave(Path("Colony.rws").c_str());
    EXPECT_TRUE(report.lost);
    EXPECT_FALSE(report.written);
    EXPECT_EQ(ShownBoxes(), "[错误] 错误代码：01\n");
    EXPECT_EQ(FileCount(), 1u);
}

}  // namespace
