// Whole-file reads and writes, path tests and message boxes of any value.
#include "runtime/files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <span>
#include <vector>

#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::ShownBoxes;
using testutil::Str;
namespace fs = std::filesystem;

#if defined(_WIN32)
const char kNullDevice[] = "NUL";
#else
const char kNullDevice[] = "/dev/null";
#endif

class Files : public testutil::FolderTest {
protected:
    Files() : FolderTest("files_test_tmp") {}
};

int ShortRead(platform::FileHandle f, void* data, uint32_t size, uint32_t* read) {
    platform::DefaultSlots().ReadFile(f, data, size, read);
    *read = size - 1;
    return 1;
}
int ThreeAtATime(platform::FileHandle f, void* data, uint32_t size, uint32_t* read) {
    return platform::DefaultSlots().ReadFile(f, data, size < 3 ? size : 3, read);
}
int FailedRead(platform::FileHandle, void*, uint32_t, uint32_t* read) {
    *read = 0;
    return 0;
}
uint32_t HugeSize(platform::FileHandle, uint32_t* high) {
    *high = 1;
    return 8;  // 4 GiB + 8 bytes
}
uint32_t TwoGiB(platform::FileHandle, uint32_t* high) {
    *high = 0;
    return 0x80000000u;
}
const void* NoView(platform::FileHandle, uint32_t, uint32_t, uint32_t, size_t) { return nullptr; }
platform::FileHandle NoMapping(platform::FileHandle, uint32_t, uint32_t, uint32_t) { return nullptr; }
int NoStamp(platform::FileHandle, platform::FileStamp*) { return 0; }

// The file's bytes and why there are none, as ViewFileBytes sees them.
std::pair<std::string, ReadFailure> Viewed(const std::string& path) {
    ReadFailure why = ReadFailure::kNone;
    FileBytes bytes = ViewFileBytes({OfText(path.c_str())}, &why);
    return {std::string(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(bytes.length())), why};
}

// A file is seen whole or not at all: viewed, or read where the system makes no view, in as
// many reads as the system takes; what is not a disk file is not read, and not waited on. The
// failure says why.
TEST_F(Files, SeesWholeFilesOnly) {
    Put("save", std::string("content\0with nul", 16));
    Put("empty", "");
    const auto none = ReadFailure::kNone, missing = ReadFailure::kMissing, unreadable = ReadFailure::kUnreadable;
    struct Row {
        const char* name;
        void (*tweak)();
        ReadFailure why;
    } rows[] = {
        {"save", [] {}, none},
        {"empty", [] {}, none},
        {"save", [] { platform::slots.CreateFileMappingA = NoMapping, platform::slots.ReadFile = ThreeAtATime; }, none},
        {"missing", [] {}, missing},
        {"no-folder/save", [] {}, missing},
        {"", [] {}, unreadable},  // the folder itself
        {"save", [] { platform::slots.ReadFile = ShortRead; }, none},  // viewed, not read
        {"save", [] { platform::slots.MapViewOfFile = NoView, platform::slots.ReadFile = FailedRead; }, unreadable},
        {"save", [] { platform::slots.GetFileSize = HugeSize; }, unreadable},
        {"save", [] { platform::slots.GetFileSize = TwoGiB; }, unreadable},
        {"save", [] { platform::slots.MapViewOfFile = NoView; }, none},
        {"save", [] { platform::slots.CreateFileMappingA = NoMapping, platform::slots.ReadFile = ShortRead; }, unreadable},
        {"save", [] { platform::slots.GetFileStamp = NoStamp; }, unreadable},
#if !defined(_WIN32)
        {"fifo", [] {}, unreadable},  // no writer: an open that waited would never return
#endif
    };
#if !defined(_WIN32)
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
#endif
    for (const Row& r : rows) {
        r.tweak();
        const auto [viewed, why] = Viewed(Path(r.name));
        platform::slots = platform::DefaultSlots();
        EXPECT_EQ(why, r.why) << r.name;
        EXPECT_EQ(viewed, r.why == none ? Get(r.name) : "") << r.name;
    }
    EXPECT_EQ(Viewed(kNullDevice).second, unreadable);

    // Another program holds the file open for writing, sharing it for reading.
    platform::FileHandle writer = platform::slots.CreateFileA(Path("save").c_str(), platform::kGenericWrite,
                                                              platform::kFileShareReadWrite, platform::kOpenExisting,
                                                              platform::kFileAttributeArchive);
    ASSERT_NE(writer, platform::InvalidFile());
    EXPECT_EQ(Viewed(Path("save")).first, Get("save"));  // on Windows, by a read that shares with the writer
    platform::slots.CloseHandle(writer);
}

int ShortWrite(platform::FileHandle f, const void* data, uint32_t size, uint32_t* written) {
    int ok = platform::DefaultSlots().WriteFile(f, data, size - 1, written);
    return ok;  // success, with one byte less stored than asked
}
int FailedClose(platform::FileHandle f) {
    platform::DefaultSlots().CloseHandle(f);
    return 0;
}

int write_calls = 0;
int FailingWrite(platform::FileHandle, const void*, uint32_t, uint32_t* written) {
    ++write_calls;
    *written = 0;
    return 0;
}

TEST_F(Files, WriteCreatesOrTruncates) {
    OwnedBytes abc = Bytes("abc"), de = Bytes("de");
    Put("old", "0123456789");
    EXPECT_TRUE(WriteFileBytes({OfText(Path("old").c_str()), OfByteSet(abc.get())}));
    EXPECT_EQ(Get("old"), "abc");
    EXPECT_TRUE(WriteFileBytes({OfText(Path("two").c_str()), OfByteSet(abc.get()), OfByteSet(de.get())}));
    EXPECT_EQ(Get("two"), "abcde");
    EXPECT_TRUE(WriteFileBytes({OfText(Path("two").c_str()), OfByteSet(kEmptyBytes.get())}));
    EXPECT_EQ(Get("two"), "");
    EXPECT_FALSE(WriteFileBytes({OfText(Path("no/such/x").c_str()), OfByteSet(abc.get())}));
    EXPECT_FALSE(fs::exists(dir_ / "no"));

    write_calls = 0;
    platform::slots.WriteFile = FailingWrite;
    EXPECT_FALSE(WriteFileBytes({OfText(Path("fail").c_str()), OfByteSet(abc.get()), OfByteSet(de.get())}));
    EXPECT_EQ(write_calls, 1);  // the first failure stops the rest
    platform::slots.WriteFile = ShortWrite;
    EXPECT_FALSE(WriteFileBytes({OfText(Path("short").c_str()), OfByteSet(abc.get())}));
}

// Anything standing at the name exists, and is never opened, followed or emptied; a file
// this call made and could not write in full is taken away again.
TEST_F(Files, WriteNewNeverTouchesWhatStandsThere) {
    const uint8_t a[] = {'a'}, bc[] = {'b', 'c'};
    const std::span<const uint8_t> abc[] = {a, bc};
    struct Row {
        const char* what;
        void (*setup)(const fs::path& at);
        void (*tweak)();
        NewFile result;
        bool exists_after;
    } rows[] = {
        {"a free name", [](const fs::path&) {}, [] {}, NewFile::kWritten, true},
        {"a file", [](const fs::path& at) { std::ofstream(at) << "old"; }, [] {}, NewFile::kNameTaken, true},
        {"a folder", [](const fs::path& at) { fs::create_directory(at); }, [] {}, NewFile::kNameTaken, true},
#if !defined(_WIN32)
        {"a link to a missing file", [](const fs::path& at) { fs::create_symlink(at.string() + "-target", at); },
         [] {}, NewFile::kNameTaken, true},
        {"a FIFO", [](const fs::path& at) { mkfifo(at.c_str(), 0600); }, [] {}, NewFile::kNameTaken, true},
#endif
        {"a short write", [](const fs::path&) {}, [] { platform::slots.WriteFile = ShortWrite; }, NewFile::kFailed,
         false},
        {"a failed close", [](const fs::path&) {}, [] { platform::slots.CloseHandle = FailedClose; },
         NewFile::kFailed, false},
    };
    for (const Row& r : rows) {
        const fs::path at = dir_ / "new";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        r.setup(at);
        const std::string before = fs::is_regular_file(at) ? Get("new") : "";
        EXPECT_EQ(FileExists({OfText(at.string().c_str())}), r.result == NewFile::kNameTaken) << r.what;
        r.tweak();
        EXPECT_EQ(WriteNewFilePieces(at.string().c_str(), abc), r.result) << r.what;
        platform::slots = platform::DefaultSlots();
        EXPECT_EQ(fs::exists(fs::symlink_status(at)), r.exists_after) << r.what;
        if (fs::is_regular_file(fs::symlink_status(at))) {
            EXPECT_EQ(Get("new"), r.result == NewFile::kWritten ? "abc" : before) << r.what;
        }
        EXPECT_FALSE(fs::exists(at.string() + "-target")) << r.what;
    }
    EXPECT_EQ(WriteNewFilePieces(Path("no/such/x").c_str(), abc), NewFile::kFailed);
    EXPECT_FALSE(fs::exists(dir_ / "no"));
}

#if !defined(_WIN32)
// The kernel's copy between files, answering as a file system may: at most `copy_most` bytes a
// call, and every second call failing with `copy_error` (0: none fails).
size_t copy_most = 0;
int copy_error = 0, copy_calls = 0;
intptr_t CopyAsTold(int in, int64_t* at, int out, int64_t* out_at, size_t size, unsigned flags) {
    if (copy_error != 0 && copy_calls++ % 2 == 1) return errno = copy_error, -1;
    return platform::DefaultSlots().copy_file_range(in, at, out, out_at, std::min(size, copy_most), flags);
}
#endif

// Pieces that lie in a viewed file, short and long, go out in order, byte for byte, however
// the system's copy between files answers (on Linux the long ones are copied there): short
// counts, a copy across file systems or not supported, and interrupted calls.
TEST_F(Files, WritesPiecesFromAView) {
    constexpr size_t kMiB = 1u << 20;
    std::string save(3 * kMiB + 123, '\0');
    for (size_t i = 0; i < save.size(); ++i) save[i] = static_cast<char>(i * 7 + i / 4099);
    Put("save", save);
    const FileBytes bytes = ViewFileBytes({OfText(Path("save").c_str())});
    const std::pair<size_t, size_t> cuts[] = {{0, 7}, {100, 2 * kMiB}, {5, 3000}, {kMiB, 2 * kMiB + 123}, {save.size() - 7, 7}};
    std::vector<std::span<const uint8_t>> spans;
    std::string expected;
    for (const auto& [at, n] : cuts) {
        spans.push_back({bytes.data() + at, n});
        expected += save.substr(at, n);
    }
    const std::pair<size_t, int> rows[] = {{SIZE_MAX, 0}, {4097, 0}, {4097, EXDEV}, {SIZE_MAX, EINVAL}, {4097, EINTR}};
    for (const auto& [most, error] : rows) {
        fs::remove(dir_ / "out");
#if !defined(_WIN32)
        copy_most = most, copy_error = error, copy_calls = 0;
        platform::slots.copy_file_range = CopyAsTold;
#endif
        EXPECT_EQ(WriteNewFilePieces(Path("out").c_str(), spans), NewFile::kWritten) << most << " " << error;
        platform::slots = platform::DefaultSlots();
        EXPECT_TRUE(Get("out") == expected) << most << " " << error;
    }
}

platform::WindowHandle last_owner;
int RecordOwner(platform::WindowHandle owner, const char* text, const char* caption, uint32_t style) {
    last_owner = owner;
    testutil::RecordBox(owner, text, caption, style);
    return 7;  // IDNO
}

TEST_F(Files, ShowMessageOfEachKind) {
    OwnedBytes bytes = Bytes("not shown");
    struct Row {
        TaggedValue message;
        TaggedValue title;
        const char* box;
    } rows[] = {
        {OfText("hello"), Absent(), "[信息] hello\n"},
        {OfInt32(42), OfText("T"), "[T] 42\n"},
        {OfBool(true), Absent(), "[信息] 真\n"},
        {OfDouble(2.5), Absent(), "[信息] 2.5\n"},
        {OfDateTime(45000.5), Absent(), "[信息] 2023年3月15日12时\n"},
        {OfByteSet(bytes.get()), Absent(), "[信息] \n"},
        {OfPointer(static_cast<uint32_t>(ValueKind::Int32) | kArrayFlag, bytes.get()), Absent(), "[信息] \n"},
    };
    for (const Row& r : rows) {
        ShownBoxes().clear();
        EXPECT_EQ(ShowMessage({r.message, OfInt32(0), r.title, Absent()}), 0);
        EXPECT_EQ(ShownBoxes(), r.box);
    }

    platform::slots.MessageBoxA = RecordOwner;
    EXPECT_EQ(ShowMessage({OfText("x"), OfInt32(4), Absent(), OfInt32(0x1234)}), 6);
    EXPECT_EQ(last_owner, reinterpret_cast<platform::WindowHandle>(0x1234));
    ShowMessage({OfText("x"), OfInt32(4), Absent(), OfBool(true)});
    EXPECT_EQ(last_owner, nullptr);  // an owner is only taken from an Int32
}

}  // namespace
