// Whole-file reads and writes, path tests and message boxes of any value.
#include "runtime/files.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
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
uint32_t LargestSize(platform::FileHandle, uint32_t* high) {
    *high = 0;
    return 0x7FFFFFFFu;  // 2 GiB - 1
}
int NoStamp(platform::FileHandle, platform::FileStamp*) { return 0; }

// The file's bytes, read in chunks of 7 (its first byte read again by offset between them,
// while the next chunk is read), and why there are none.
std::pair<std::string, ReadFailure> Read(const std::string& path) {
    ReadFailure why = ReadFailure::kNone;
    SaveFile file;
    std::string bytes;
    save_chunk = 7;
    if (file.Open({OfText(path.c_str())}, &why)) {
        uint8_t first = 0;
        for (std::span<const uint8_t> chunk; file.Next(&chunk) && !chunk.empty() && file.ReadAt(0, &first, 1);)
            bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
        if (static_cast<int64_t>(bytes.size()) != file.size()) why = ReadFailure::kUnreadable;
    }
    save_chunk = 256u << 10;
    return {bytes, why};
}

// A file is read whole or not at all, in as many reads as the system takes; what is not a
// disk file is not read, and not waited on. The failure says why. A stretch read again by
// offset is the file's.
TEST_F(Files, ReadsWholeFilesOnly) {
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
        {"save", [] { platform::slots.ReadFile = ThreeAtATime; }, none},
        {"missing", [] {}, missing},
        {"no-folder/save", [] {}, missing},
        {"", [] {}, unreadable},  // the folder itself
        {"save", [] { platform::slots.ReadFile = ShortRead; }, unreadable},
        {"save", [] { platform::slots.ReadFile = FailedRead; }, unreadable},
        {"save", [] { platform::slots.GetFileSize = HugeSize; }, unreadable},
        {"save", [] { platform::slots.GetFileSize = TwoGiB; }, unreadable},
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
        const auto [bytes, why] = Read(Path(r.name));
        platform::slots = platform::DefaultSlots();
        EXPECT_EQ(why, r.why) << r.name;
        EXPECT_EQ(bytes, r.why == none ? Get(r.name) : "") << r.name;
    }
    EXPECT_EQ(Read(kNullDevice).second, unreadable);

    {
        SaveFile file;
        platform::slots.GetFileSize = LargestSize;
        EXPECT_TRUE(file.Open({OfText(Path("save").c_str())}));  // up to 2 GiB - 1: taken, read as far as it goes
        platform::slots = platform::DefaultSlots();
        uint8_t stretch[4] = {};
        EXPECT_TRUE(file.ReadAt(8, stretch, 4) && std::memcmp(stretch, "with", 4) == 0);
        EXPECT_FALSE(file.ReadAt(0x7FFFFFF0, stretch, 4));
    }

    // Another program holds the file open for writing, sharing it for reading.
    platform::FileHandle writer = platform::slots.CreateFileA(Path("save").c_str(), platform::kGenericWrite,
                                                              platform::kFileShareReadWrite, platform::kOpenExisting,
                                                              platform::kFileAttributeArchive);
    ASSERT_NE(writer, platform::InvalidFile());
    EXPECT_EQ(Read(Path("save")).first, Get("save"));  // on Windows, by a read that shares with the writer
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
    const uint8_t a[] = {'a'};
    std::ofstream("files_test_save", std::ios::binary) << "xbc";  // beside the folder the rows make anew
    auto save = std::make_unique<SaveFile>();
    ASSERT_TRUE(save->Open({OfText("files_test_save")}));
    const FilePiece abc[] = {{0, 1, a}, {1, 2, nullptr}};
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
        EXPECT_EQ(WriteNewFileRanges(at.string().c_str(), *save, abc), r.result) << r.what;
        platform::slots = platform::DefaultSlots();
        EXPECT_EQ(fs::exists(fs::symlink_status(at)), r.exists_after) << r.what;
        if (fs::is_regular_file(fs::symlink_status(at))) {
            EXPECT_EQ(Get("new"), r.result == NewFile::kWritten ? "abc" : before) << r.what;
        }
        EXPECT_FALSE(fs::exists(at.string() + "-target")) << r.what;
    }
    EXPECT_EQ(WriteNewFileRanges(Path("no/such/x").c_str(), *save, abc), NewFile::kFailed);
    EXPECT_FALSE(fs::exists(dir_ / "no"));
    const FilePiece past[] = {{2, 2, nullptr}};  // the save holds 3 bytes
    EXPECT_EQ(WriteNewFileRanges(Path("past").c_str(), *save, past), NewFile::kFailed);
    EXPECT_FALSE(fs::exists(dir_ / "past"));
    save.reset();
    fs::remove("files_test_save");
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

// Stretches of the save, short and long, and constants go out in order, byte for byte,
// however the system's copy between files answers (on Linux the long stretches are copied
// there): short counts, a copy across file systems or not supported, and interrupted calls.
TEST_F(Files, WritesStretchesOfTheSave) {
    constexpr int64_t kMiB = 1 << 20;
    std::string save(3 * kMiB + 123, '\0');
    for (size_t i = 0; i < save.size(); ++i) save[i] = static_cast<char>(i * 7 + i / 4099);
    Put("save", save);
    SaveFile file;
    ASSERT_TRUE(file.Open({OfText(Path("save").c_str())}));
    const uint8_t separator[] = {'\r', '\n'};
    const auto n = static_cast<int64_t>(save.size());
    const FilePiece pieces[] = {{0, 7, nullptr}, {100, 2 * kMiB, nullptr}, {0, 2, separator}, {5, 3000, nullptr},
                                {9, 100 << 10, nullptr},
                                {kMiB, 2 * kMiB + 123, nullptr}, {n - 7, 7, nullptr}};
    std::string expected;
    for (const FilePiece& piece : pieces)
        expected += piece.bytes != nullptr ? "\r\n" : save.substr(static_cast<size_t>(piece.offset), static_cast<size_t>(piece.length));
    const std::pair<size_t, int> rows[] = {{SIZE_MAX, 0}, {4097, 0}, {4097, EXDEV}, {SIZE_MAX, EINVAL}, {4097, EINTR}};
    for (const auto& [most, error] : rows) {
        fs::remove(dir_ / "out");
#if !defined(_WIN32)
        copy_most = most, copy_error = error, copy_calls = 0;
        platform::slots.copy_file_range = CopyAsTold;
#endif
        EXPECT_EQ(WriteNewFileRanges(Path("out").c_str(), file, pieces), NewFile::kWritten) << most << " " << error;
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
