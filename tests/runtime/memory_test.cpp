// Allocation, tolerant release, the out-of-memory stop, fatal errors and the end of the
// process.
#include <cstdio>
#include <cstring>
#include <vector>

#include "runtime/array.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using testutil::BoxToStderr;
using testing::ExitedWithCode;
using testutil::StderrIs;

class Memory : public testutil::SlotTest {};

using testutil::RefuseAlloc;
using testutil::RefuseReAlloc;

bool AllZero(const void* p, size_t n) {
    auto b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

TEST_F(Memory, BlocksComeBackCleared) {
    void* a = AllocateMemory(16);
    EXPECT_TRUE(AllZero(a, 16));
    FreeMemory(a);
    FreeMemory(AllocateMemory(0));

    auto b = static_cast<char*>(ReallocateMemory(nullptr, 12));
    EXPECT_TRUE(AllZero(b, 12));
    std::memcpy(b, "hello world", 12);
    b = static_cast<char*>(ReallocateMemory(b, 4096));
    EXPECT_STREQ(b, "hello world");
    FreeMemory(b);
}

TEST_F(Memory, FreeIgnoresWhatIsNotAHeapBlock) {
    static const char kLiteral[] = "literal";
    // Nothing is mapped there: the top of a 32-bit space belongs to the system, and a
    // 64-bit process has not grown anywhere near 2^46.
    const uintptr_t unmapped = sizeof(void*) == 4 ? uintptr_t{0xFFFF0000u}
                                                  : static_cast<uintptr_t>(uint64_t{1} << 46);
    const void* values[] = {nullptr, reinterpret_cast<const void*>(0xFFFF), kEmptyText, kLiteral,
                            kEmptyBytes.get(), reinterpret_cast<const void*>(unmapped)};
    for (const void* v : values) FreeMemory(v);
    EXPECT_STREQ(kLiteral, "literal");
    EXPECT_EQ(kEmptyBytes.get()->dimension_count, 1);
    EXPECT_TRUE(IsImageConstant(kLiteral));
    void* heap = AllocateMemory(8);
    EXPECT_FALSE(IsImageConstant(heap));
    FreeMemory(heap);
}

TEST_F(Memory, ReallocateReportsRefusalWithoutStopping) {
    void* block = AllocateMemory(8);
    platform::slots.HeapReAlloc = RefuseReAlloc;
    EXPECT_EQ(ReallocateMemory(block, 64), nullptr);
    platform::slots.HeapReAlloc = platform::DefaultSlots().HeapReAlloc;
    FreeMemory(block);
}

using MemoryDeathTest = Memory;

TEST_F(MemoryDeathTest, RefusedAllocationStops) {
    const char* kBox = "[error] 内存不足\n";
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator reports such a request itself
    // The standard library's allocations stop the same way, not with std::terminate.
    EXPECT_EXIT(
        {
            platform::slots.MessageBoxA = BoxToStderr;
            std::vector<char> huge;
            huge.reserve(huge.max_size());  // more than any address space holds
        },
        ExitedWithCode(0), StderrIs(kBox));
#endif
    EXPECT_EXIT(
        {
            platform::slots.MessageBoxA = BoxToStderr;
            platform::slots.HeapAlloc = RefuseAlloc;
            AllocateMemory(16);
        },
        ExitedWithCode(0), StderrIs(kBox));
    // Sizes that would wrap a 32-bit length are refused, never allocated short.
    EXPECT_EXIT(
        {
            platform::slots.MessageBoxA = BoxToStderr;
            ArrayCell cell = NewTextArray();
            ResizeArray(cell, INT32_MAX);
        },
        ExitedWithCode(0), StderrIs(kBox));
    EXPECT_EXIT(
        {
            platform::slots.MessageBoxA = BoxToStderr;
            SizeSum(UINT32_MAX, 8);
        },
        ExitedWithCode(0), StderrIs(kBox));
    // A member that cannot be added stops instead of writing through null.
    EXPECT_EXIT(
        {
            platform::slots.MessageBoxA = BoxToStderr;
            ArrayCell cell = NewTextArray();
            platform::slots.HeapReAlloc = RefuseReAlloc;
            AppendMember(cell, "x");
            AppendMember(cell, "y");
        },
        ExitedWithCode(0), StderrIs(kBox));
}

TEST_F(MemoryDeathTest, RuntimeErrorShowsItsNumberAndMessage) {
    struct Row {
        int32_t number;
        const char* message;
    } rows[] = {
        {1, "数组成员引用下标超出定义范围"},
        {4, "数组成员引用下标必须大于等于1"},
        {11, "所提供参数的数据类型不符合要求"},
        {0, ""},
        {12, ""},
        {-3, ""},
    };
    for (const Row& row : rows) {
        char expected[512];
        std::snprintf(expected, sizeof expected,
                      "[error] program internal error number is %d. \r\n%s\n",
                      static_cast<int>(row.number), row.message);
        EXPECT_EXIT(
            {
                platform::slots.MessageBoxA = BoxToStderr;
                RaiseRuntimeError(row.number);
            },
            ExitedWithCode(0), StderrIs(expected))
            << row.number;
    }
}

void Say(const char* word) {
    fputs(word, stderr);
    fflush(stderr);
}

TEST_F(MemoryDeathTest, EndProgramRunsItsStepsInOrderAndOnce) {
    EXPECT_EXIT(
        {
            RegisterExitCleanup([] {
                Say("cleanup ");
                EndProgram(0);  // a second way out, as from another thread
            });
            SetLibraryEndNotification([] { Say("notify "); });
            SetFinalExitStep([] { Say("unload"); });
            EndProgram(0);
        },
        ExitedWithCode(0), StderrIs("cleanup notify unload"));
    EXPECT_EXIT(EndProgram(0), ExitedWithCode(0), StderrIs(""));
}

}  // namespace
