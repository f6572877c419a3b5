// Shared helpers of the runtime tests: owners for returned blocks, byte-set builders, and
// message boxes captured instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "runtime/memory.h"
#include "runtime/text.h"
#include "runtime/value.h"

namespace testutil {

using runtime::OwnedBytes;
using runtime::OwnedText;

inline std::string Str(runtime::ConstText t) { return t == nullptr ? std::string() : std::string(t); }
inline std::string Str(const OwnedText& t) { return Str(t.get()); }

inline std::string Str(runtime::ConstByteSet b) {
    if (b == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(runtime::BytesData(b)),
                       static_cast<size_t>(b->length));
}
inline std::string Str(const OwnedBytes& b) { return Str(b.get()); }

inline OwnedBytes Bytes(const std::string& s) {
    return OwnedBytes(runtime::MakeByteSet(s.data(), static_cast<int32_t>(s.size())));
}

// Every box shown while a test runs, as "[caption] text" lines; a style other than 0 (one
// OK button, no icon) follows as " {style N}".
inline std::string& ShownBoxes() {
    static std::string boxes;
    return boxes;
}

// The boxes less the success box's second line (the sizes and the pawns removed), for the
// tests about something else.
inline std::string WithoutChanged(std::string boxes) {
    for (size_t at; (at = boxes.find("\r\n原存档 ")) != std::string::npos;) boxes.erase(at, boxes.find('\n', at + 2) - at);
    return boxes;
}

inline int RecordBox(platform::WindowHandle, const char* text, const char* caption, uint32_t style) {
    ShownBoxes() += "[" + Str(caption) + "] " + Str(text) + (style != 0 ? " {style " + std::to_string(style) + "}" : "") + "\n";
    return 1;
}

// Every block handed to HeapFree while the slot is RecordFree; a block in Unfreeable() is
// recorded but not passed on, so a release of what is no heap block fails a test instead of
// crashing it.
inline std::vector<const void*>& Freed() {
    static std::vector<const void*> blocks;
    return blocks;
}
inline std::vector<const void*>& Unfreeable() {
    static std::vector<const void*> blocks;
    return blocks;
}
inline int RecordFree(platform::HeapHandle heap, uint32_t flags, void* block) {
    Freed().push_back(block);
    for (const void* kept : Unfreeable())
        if (kept == block) return 1;
    return platform::DefaultSlots().HeapFree(heap, flags, block);
}

// For death tests: the box goes to standard error, where the parent reads it.
inline int BoxToStderr(platform::WindowHandle, const char* text, const char* caption, uint32_t) {
    std::string line = "[" + Str(caption) + "] " + Str(text) + "\n";
    fputs(line.c_str(), stderr);
    fflush(stderr);
    return 1;
}

// Death test: `run`, in a child process, ends it with status 0, and its boxes and all else
// it writes to standard error are exactly `said`.
inline void ExpectEnd(void (*run)(), const std::string& said, const std::string& what = "") {
    EXPECT_EXIT(
        {
            platform::slots.MessageBoxA = BoxToStderr;
            run();
        },
        ::testing::ExitedWithCode(0), ::testing::Matcher<const std::string&>(said))
        << what;
}

// Heap slots that refuse every request.
inline void* RefuseAlloc(platform::HeapHandle, uint32_t, size_t) { return nullptr; }
inline void* RefuseReAlloc(platform::HeapHandle, uint32_t, void*, size_t) { return nullptr; }

// Restores the system-call slots after each test.
class SlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShownBoxes().clear();
        Freed().clear();
        Unfreeable().clear();
        platform::slots.MessageBoxA = RecordBox;
    }
    void TearDown() override { platform::slots = platform::DefaultSlots(); }
};

// A whole file's bytes (empty when it cannot be read).
inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// SlotTest with a fresh folder of the test's own, removed afterwards.
class FolderTest : public SlotTest {
protected:
    explicit FolderTest(const char* folder) : dir_(folder) {}
    void SetUp() override {
        SlotTest::SetUp();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        SlotTest::TearDown();
        std::filesystem::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Put(const std::string& name, const std::string& content) const {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    std::string Get(const std::string& name) const { return ReadAll(dir_ / name); }

    std::filesystem::path dir_;
};

}  // namespace testutil
