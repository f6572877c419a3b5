// Allocation, tolerant release, the out-of-memory stop, fatal errors and the end of the
// process.
#include <vector>

#include "runtime/array.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;

class Memory : public testutil::SlotTest {};

using testutil::RefuseAlloc;
using testutil::RefuseReAlloc;

TEST_F(Memory, FreeIgnoresWhatIsNotAHeapBlock) {
    static const char kLiteral[] = "literal";
    // Nothing is mapped there: the top of a 32-bit space belongs to the system, and a
    // 64-bit process has not grown anywhere near 2^46.
    const uintptr_t unmapped = sizeof(void*) == 4 ? uintptr_t{0xFFFF0000u}
                                                  : static_cast<uintptr_t>(uint64_t{1} << 46);
    const void* values[] = {nullptr, reinterpret_cast<const void*>(0xFFFF), kEmptyText, kLiteral,
                            kEmptyBytes.get(), reinterpret_cast<const void*>(unmapped)};
    testutil::Unfreeable().assign(std::begin(values), std::end(values));
    platform::slots.HeapFree = testutil::RecordFree;
    for (const void* v : values) FreeMemory(v);
    EXPECT_EQ(testutil::Freed(), std::vector<const void*>{});
    EXPECT_TRUE(IsImageConstant(kLiteral));
    void* heap = AllocateMemory(8);
    EXPECT_FALSE(IsImageConstant(heap));
    FreeMemory(heap);
    EXPECT_EQ(testutil::Freed(), std::vector<const void*>{heap});
}

using MemoryDeathTest = Memory;

ArrayCell ThreeMembers() {
    ArrayCell cell = NewTextArray();
    for (const char* m : {"a", "b", "c"}) AppendMember(cell, m);
    return cell;
}

// Every way the runtime stops the program, with the one box it shows.
TEST_F(MemoryDeathTest, EachStopShowsItsBox) {
    const std::string no_memory = "[error] 内存不足\n", error = "[error] program internal error number is ";
    const std::string below_one = error + "4. \r\n数组成员引用下标必须大于等于1\n";
    const std::string beyond = error + "1. \r\n数组成员引用下标超出定义范围\n";
    struct Row {
        const char* what;
        void (*run)();
        std::string box;
    } rows[] = {
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator reports such a request itself
        // The standard library's allocations stop the same way, not with std::terminate.
        {"more than any address space holds", [] { std::vector<char> v; v.reserve(v.max_size()); }, no_memory},
#endif
        {"a refused allocation",
         [] {
             platform::slots.HeapAlloc = RefuseAlloc;
             AllocateMemory(16);
         },
         no_memory},
        // Sizes that would wrap a 32-bit length are refused, never allocated short.
        {"an array of INT32_MAX members", [] { ResizeArray(NewTextArray(), INT32_MAX); }, no_memory},
        {"a size sum that wraps", [] { SizeSum(UINT32_MAX, 8); }, no_memory},
        // A member that cannot be added, a buffer that cannot grow: no write through null.
        {"a member that cannot be added",
         [] {
             ArrayCell cell = NewTextArray();
             platform::slots.HeapReAlloc = RefuseReAlloc;
             AppendMember(cell, "x");
             AppendMember(cell, "y");
         },
         no_memory},
        {"ReplaceBytes' buffer",
         [] {
             testutil::OwnedBytes data = testutil::Bytes("a|b"), bar = testutil::Bytes("|");
             platform::slots.HeapAlloc = RefuseAlloc;
             ReplaceBytes({OfByteSet(data.get()), OfByteSet(bar.get())});
         },
         no_memory},
        {"member 0", [] { ReferenceMember(*ThreeMembers(), 0); }, below_one},
        {"member -1", [] { ReferenceMember(*ThreeMembers(), -1); }, below_one},
        {"member 4 of 3", [] { ReferenceMember(*ThreeMembers(), 4); }, beyond},
        {"member 1 of none", [] { ReferenceMember(*NewTextArray(), 1); }, beyond},
        {"error 11", [] { RaiseRuntimeError(11); }, error + "11. \r\n所提供参数的数据类型不符合要求\n"},
        {"error 0", [] { RaiseRuntimeError(0); }, error + "0. \r\n\n"},
        {"error 12", [] { RaiseRuntimeError(12); }, error + "12. \r\n\n"},
        {"error -3", [] { RaiseRuntimeError(-3); }, error + "-3. \r\n\n"},
    };
    for (const Row& r : rows) testutil::ExpectEnd(r.run, r.box, r.what);
}

void Say(const char* word) {
    fputs(word, stderr);
    fflush(stderr);
}

TEST_F(MemoryDeathTest, EndProgramRunsItsStepsInOrderAndOnce) {
    testutil::ExpectEnd(
        [] {
            RegisterExitCleanup([] {
                Say("cleanup ");
                EndProgram(0);  // a second way out, as from another thread
            });
            SetLibraryEndNotification([] { Say("notify "); });
            SetFinalExitStep([] { Say("unload"); });
            EndProgram(0);
        },
        "cleanup notify unload");
    testutil::ExpectEnd([] { EndProgram(0); }, "");
}

}  // namespace
