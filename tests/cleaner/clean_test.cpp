// The cleaning run on files: the output's name and content, the boxes, and what is left on
// disk when the output cannot be written.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
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
        // The box says what changed: the sizes before and after, the pawns removed.
        EXPECT_EQ(ShownBoxes(), "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path(name) +
                                    "\r\n原存档 " + cleaner::SizeText(static_cast<int64_t>(save.size())) + "，新存档 " +
                                    cleaner::SizeText(static_cast<int64_t>(expected.size())) + "；移除存活的世界人物 9 个\n");
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
int NoMoves(const char*, const char*, uint32_t) { return 0; }
uint32_t NotSupported() { return 50; }  // ERROR_NOT_SUPPORTED

// No file bears a save's name before it is whole, and nothing that stands at a name is
// opened, emptied or replaced: a name taken at the create of the partial file, or at the
// move to its name, gives way to the next one; a partial file that cannot be removed stays
// under its temporary name only.
TEST_F(Clean, WritesUnderATemporaryNameAndMovesOnlyToAFreeName) {
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
        {"a partial file left by a run that was stopped", {{"Colony-A.tmp", "x"}}, [] {},
         "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A-A.rws", {"Colony-A.tmp", "Colony-A-A.rws"}},
        {"a file appears at the name just before the move", {}, [] { platform::slots.CreateHardLinkA = TakenBeforeTheMove; },
         "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A-A.rws", {"Colony-A.rws", "Colony-A-A.rws"}},
        {"no second names on this file system: a move that replaces nothing", {},
         [] { platform::slots.CreateHardLinkA = NoSecondNames, platform::slots.GetLastError = NotSupported; },
         "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A.rws", {"Colony-A.rws"}},
        {"neither second names nor a move that replaces nothing: written under its own name", {},
         [] { platform::slots.CreateHardLinkA = NoSecondNames, platform::slots.MoveFileExA = NoMoves,
              platform::slots.GetLastError = NotSupported; },
         "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：Colony-A.rws", {"Colony-A.rws"}},
        {"a write that fails, its partial file not removable", {},
         [] { platform::slots.WriteFile = ShortWrite, platform::slots.DeleteFileA = CannotRemove; },
         "[错误] 错误信息：存档写入失败：Colony-A.rws\r\n原因：未能完整写入", {"Colony-A.tmp"}},
    };
    for (const Row& r : rows) {
        SetUp();
        Put("Colony.rws", save);
        for (const auto& [name, content] : r.before) Put(name, content);
        Appearing() = Path("Colony-A.rws");
        r.tweak();
        cleaner::CleanReport report = cleaner::CleanSave(Path("Colony.rws").c_str(), {});
        platform::slots = platform::DefaultSlots();
        const size_t cut = r.box.rfind('C'), end = r.box.find(".rws", cut) + 4;
        EXPECT_EQ(testutil::WithoutChanged(ShownBoxes()), r.box.substr(0, cut) + Path(r.box.substr(cut, end - cut)) + r.box.substr(end) + "\n") << r.what;
        std::set<std::string> files, expected = r.after;
        for (const auto& entry : fs::directory_iterator(dir_)) files.insert(entry.path().filename().string());
        expected.insert("Colony.rws");
        EXPECT_EQ(files, expected) << r.what;
        EXPECT_EQ(report.left_behind != nullptr, !report.written()) << r.what;
    }
}

uint32_t& Code() {
    static uint32_t code = 0;
    return code;
}
uint32_t GivenCode() { return Code(); }
platform::FileHandle RefuseOutput(const char* path, uint32_t access, uint32_t share, uint32_t creation, uint32_t attributes) {
    if (access & platform::kGenericWrite) return platform::InvalidFile();
    return platform::DefaultSlots().CreateFileA(path, access, share, creation, attributes);
}
int FailWrite(platform::FileHandle, const void*, uint32_t, uint32_t* written) {
    *written = 0;
    return 0;
}

// A write that fails says why, as the system said, and leaves nothing.
TEST_F(Clean, AWriteThatFailsSaysWhy) {
    const struct Row {
        bool at_create;
        uint32_t code;
        std::string reason;
    } rows[] = {
        {true, platform::kErrorAccessDenied, "没有写入权限"}, {true, platform::kErrorFilenameExcedRange, "文件名太长"},
        {false, platform::kErrorDiskFull, "磁盘空间不足"},    {false, platform::kErrorHandleDiskFull, "磁盘空间不足"},
        {true, platform::kErrorWriteProtect, "没有写入权限"}, {false, 31, "系统错误代码 31"},
    };
    for (const Row& r : rows) {
        SetUp();
        Put("Colony.rws", savebuild::Save({"Thing_Human10"}, {savebuild::Entry("Human10")}));
        Code() = r.code;
        platform::slots.GetLastError = GivenCode;
        if (r.at_create) platform::slots.CreateFileA = RefuseOutput;
        else platform::slots.WriteFile = FailWrite;
        cleaner::CleanSave(Path("Colony.rws").c_str(), {});
        platform::slots = platform::DefaultSlots();
        EXPECT_EQ(ShownBoxes(), "[错误] 错误信息：存档写入失败：" + Path("Colony-A.rws") + "\r\n原因：" + r.reason + "\n") << r.code;
        EXPECT_EQ(FileCount(), 1u) << r.code;
    }
}

// The report's rows add up to no more than the file (what no option removes is the rest), and
// what it says --all removes, with --mothballed and without, is what those runs leave out.
TEST_F(Clean, TheReportAddsUp) {
    for (const char* name : {"FlatLand-B18.rws", "RATS-1.5.rws"}) {
        std::ifstream in(fs::path(SORREL_SAVES_DIR) / name, std::ios::binary);
        if (!in) continue;
        Put(name, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        const cleaner::SaveMeasure m = cleaner::MeasureSave(Path(name).c_str());
        ASSERT_TRUE(m.read) << name;
        int64_t rows = m.living.bytes + m.mothballed.bytes;
        for (const cleaner::Holding& h : m.extras) rows += h.bytes;
        EXPECT_LE(rows, m.size) << name;
        for (bool mothballed : {false, true}) {
            cleaner::CleanOptions options;
            options.mothballed = mothballed;
            options.extras.fill(true);
            const cleaner::CleanReport report = cleaner::CleanSave(Path(name).c_str(), options);
            EXPECT_EQ((mothballed ? m.everything_removed : m.all_removed).bytes, m.size - report.output_size) << name;
        }
    }
}

// What the run asks of the system on the way to the output's name, in order.
std::string& Calls() {
    static std::string calls;
    return calls;
}
int RecordFlush(platform::FileHandle f) {
    Calls() += "flush ";
    return platform::DefaultSlots().FlushFileBuffers(f);
}
int RecordLink(const char* new_name, const char* existing) {
    Calls() += "link ";
    return platform::DefaultSlots().CreateHardLinkA(new_name, existing);
}
int RecordFolder(const char* path) {
    Calls() += "folder ";
    return platform::DefaultSlots().FlushFolderOf(path);
}

// The output's bytes are on the disk before it takes its name, and its name after.
TEST_F(Clean, FlushesTheOutputBeforeItIsNamed) {
    Put("Colony.rws", savebuild::Save({"Thing_Human10"}, {savebuild::Entry("Human10")}));
    Calls().clear();
    platform::slots.FlushFileBuffers = RecordFlush, platform::slots.CreateHardLinkA = RecordLink;
    platform::slots.FlushFolderOf = RecordFolder;
    EXPECT_TRUE(cleaner::CleanSave(Path("Colony.rws").c_str(), {}).written());
    EXPECT_EQ(Calls(), "flush link folder ");
}

// A save whose output name is as long as the system allows is written: on Linux a name of
// 255 bytes, on Windows a path of 259 characters.
TEST_F(Clean, WritesAnOutputNameAtTheSystemsLimit) {
    const std::string save = savebuild::Save({"Thing_Human10"}, {savebuild::Entry("Human10")});
    const std::string folder = platform::kConsoleProgram ? Path("") : fs::absolute(dir_).string() + "\\";
    const size_t output_length = platform::kConsoleProgram ? 255 : 259 - folder.size();
    const std::string stem(output_length - 6, 'n');  // and "-A.rws"
    Put(stem + ".rws", save);
    cleaner::CleanSave((folder + stem + ".rws").c_str(), {});
    EXPECT_EQ(testutil::WithoutChanged(ShownBoxes()), "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + folder + stem + "-A.rws\n");
    EXPECT_EQ(Get(stem + "-A.rws"), literal::Clean(Bytes(save).get()).output);
}

// Another program's work on the save while the run holds it: shortening it to 100 bytes, or
// rewriting it in place with other bytes of the same length through a handle it opened for
// writing before the run.
bool refused = false;
platform::FileHandle writer = nullptr;
void Shorten() {
    std::error_code error;
    fs::resize_file(fs::path("clean_test_tmp") / "Colony.rws", 100, error);
    refused = refused || error;
}
void Rewrite() {
    if (writer == nullptr) return;
    std::string other = testutil::ReadAll(fs::path("clean_test_tmp") / "Colony.rws");
    std::reverse(other.begin(), other.end());
    uint32_t written = 0;
    platform::DefaultSlots().WriteFile(writer, other.data(), static_cast<uint32_t>(other.size()), &written);
    writer = nullptr;  // once
}
void (*change)() = nullptr;  // Shorten or Rewrite, at the point of the run the row names
int ChangeOnceStamped(platform::FileHandle f, platform::FileStamp* stamp) {
    const int ok = platform::DefaultSlots().GetFileStamp(f, stamp);
    change();
    return ok;
}
platform::FileHandle ChangeAtTheOutput(const char* path, uint32_t access, uint32_t share, uint32_t creation,
                                       uint32_t attributes) {
    if (creation == platform::kCreateNew) change();
    return platform::DefaultSlots().CreateFileA(path, access, share, creation, attributes);
}

// A save changed once it is open, before the output takes its name, gets the read-failure
// box, whatever was read (the lost pages of a view read as zeros, the bytes copied after the
// change are the new ones), and leaves nothing. Windows refuses a shortening while the run holds the save,
// and the run writes it; a program that held it open for writing before the run can write
// to it on both systems.
TEST_F(Clean, ASaveChangedWhileHeld) {
    tools::SampleOptions o;
    o.size = 2000000;
    o.mothballed = 200;  // kept whole: the output's tail is 1.2 MB, written from the view as it lies
    const std::string save = tools::GenerateSave(o);
    const std::string expected = literal::Clean(Bytes(save).get()).output;
    struct Row {
        const char* what;
        void (*tweak)();
        bool rewritten;  // else shortened
    } rows[] = {
        {"shortened as it is read", [] { platform::slots.GetFileStamp = ChangeOnceStamped; }, false},
        {"shortened as the output is made", [] { platform::slots.CreateFileA = ChangeAtTheOutput; }, false},
        {"rewritten as it is read", [] { platform::slots.GetFileStamp = ChangeOnceStamped; }, true},
        {"rewritten as the output is made", [] { platform::slots.CreateFileA = ChangeAtTheOutput; }, true},
    };
    for (const Row& r : rows) {
        SetUp();
        Put("Colony.rws", save);
        // An old save, as saves are: a change now cannot keep its times.
        using Time = fs::file_time_type;
        fs::last_write_time(dir_ / "Colony.rws", fs::last_write_time(dir_ / "Colony.rws") -
                                                     Time::duration(3600 * Time::period::den / Time::period::num));
        writer = r.rewritten ? platform::slots.CreateFileA(Path("Colony.rws").c_str(), platform::kGenericWrite,
                                                           platform::kFileShareReadWrite, platform::kOpenExisting, 0)
                             : nullptr;
        platform::FileHandle held = writer;
        change = r.rewritten ? Rewrite : Shorten;
        refused = false;
        r.tweak();
        cleaner::CleanReport report = cleaner::CleanSave(Path("Colony.rws").c_str(), {});
        platform::slots = platform::DefaultSlots();
        if (held != nullptr) platform::slots.CloseHandle(held);
        const bool written = !platform::kConsoleProgram && !r.rewritten;  // Windows refused the shortening
        EXPECT_EQ(refused, written) << r.what;
        EXPECT_EQ(testutil::WithoutChanged(ShownBoxes()), written ? "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path("Colony-A.rws") + "\n"
                                        : "[错误] 错误信息：存档读取失败：" + Path("Colony.rws") + "\n")
            << r.what;
        EXPECT_EQ(report.written() ? Get("Colony-A.rws") : "", written ? expected : "") << r.what;
        EXPECT_EQ(FileCount(), written ? 2u : 1u) << r.what;
    }
}

// A read of the save that fails, or finds the file ended, at the call the row names: through
// the stream, or a stretch read again after it.
int read_calls = 0, failing_call = 0;
bool ends = false;  // the file ends there, rather than the read failing
int FailsAtACall(platform::FileHandle f, void* data, uint32_t size, uint32_t* read) {
    if (++read_calls != failing_call) return platform::DefaultSlots().ReadFile(f, data, size, read);
    *read = 0;
    return ends ? 1 : 0;
}

// Whichever read fails, the read-failure box, and nothing left but the save: on both systems.
TEST_F(Clean, AReadThatFails) {
    tools::SampleOptions o;
    o.size = 300000;
    const std::string save = tools::GenerateSave(o);
    runtime::save_chunk = 64 << 10;  // five reads through it, then the stretches of the cuts
    for (int call : {1, 3, 6, 7, 9}) {
        for (bool end : {false, true}) {
            SetUp();
            Put("Colony.rws", save);
            read_calls = 0, failing_call = call, ends = end;
            platform::slots.ReadFile = FailsAtACall;
            cleaner::CleanSave(Path("Colony.rws").c_str(), {});
            platform::slots = platform::DefaultSlots();
            EXPECT_GE(read_calls, call) << call;
            EXPECT_EQ(ShownBoxes(), "[错误] 错误信息：存档读取失败：" + Path("Colony.rws") + "\n") << call << " " << end;
            EXPECT_EQ(FileCount(), 1u) << call << " " << end;
        }
    }
    runtime::save_chunk = 256 << 10;
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

namespace {

// A save cut short (by a crash or a full disk as it was written) ends before its root
// element's end tag: the read-failure box says so, and nothing is written. What follows the
// root element is no part of that.
TEST_F(Clean, ASaveCutShort) {
    tools::SampleOptions o;
    o.size = 200000;
    const std::string save = tools::GenerateSave(o);
    const size_t root_end = save.rfind("</savegame>");
    const std::string cut_box = "[错误] 错误信息：存档读取失败：" + Path("Colony.rws") + "\r\n存档不完整：文件在存档结尾之前中断\n";
    const std::pair<std::string, bool> rows[] = {
        {save.substr(0, save.size() / 10), false},
        {save.substr(0, save.find("</pawnsAlive>") + 13), false},  // the list whole, the save not
        {save.substr(0, root_end), false},
        {save.substr(0, root_end + 10), false},  // inside the root's end tag
        {save + "<!-- after the root -->\r\n", true},
    };
    for (const auto& [bytes, written] : rows) {
        SetUp();
        Put("Colony.rws", bytes);
        const cleaner::CleanReport report = cleaner::CleanSave(Path("Colony.rws").c_str(), {});
        EXPECT_EQ(report.written(), written) << bytes.size();
        EXPECT_EQ(ShownBoxes().find(written ? "[成功]" : cut_box), 0u) << bytes.size();
        EXPECT_EQ(FileCount(), written ? 2u : 1u) << bytes.size();
    }
}

}  // namespace
