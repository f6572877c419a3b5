// Start-up and end notifications, ThreadSupport, and the host's numbered service.
#include <atomic>
#include <cstdlib>
#include <vector>

#include "runtime/host.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using testutil::Freed;
using testutil::RecordFree;
using testutil::ShownBoxes;

class Host : public testutil::SlotTest {};
using HostDeathTest = Host;

// A program named 誠.exe: the second byte of its GBK form is a backslash's.
uint32_t FakeGbkExePath(platform::ModuleHandle, char* buffer, uint32_t size) {
    const char path[] = "C:\\tools\\\xD5\x5C.exe";
    std::snprintf(buffer, size, "%s", path);
    return sizeof path - 1;
}

uint32_t FakeExePath(platform::ModuleHandle, char* buffer, uint32_t size) {
    const char path[] = "C:\\tools\\app.exe";
    std::snprintf(buffer, size, "%s", path);
    return sizeof path - 1;
}
uint32_t NoExePath(platform::ModuleHandle, char*, uint32_t) { return 0; }

const char* command_line;
const char* FakeCommandLine() { return command_line; }

std::string At(uintptr_t address) { return address == 0 ? "<0>" : reinterpret_cast<const char*>(address); }

TEST_F(Host, ServiceTable) {
    struct Row {
        int32_t code;
        uintptr_t result;
    } constants[] = {{1004, 1}, {1005, 4}, {2030, 3}, {2032, 0}, {2033, 0}};
    for (const Row& r : constants) EXPECT_EQ(SystemService(r.code, 0, 0), r.result) << r.code;

    platform::slots.GetModuleFileNameA = FakeExePath;
    EXPECT_EQ(At(SystemService(2003, 0, 0)), "C:\\tools");
    EXPECT_EQ(At(SystemService(2004, 0, 0)), "app.exe");
    char buffer[260];
    EXPECT_EQ(At(SystemService(1006, 1, reinterpret_cast<uintptr_t>(buffer))), "C:\\tools\\");
    EXPECT_STREQ(buffer, "C:\\tools\\");
    EXPECT_EQ(At(SystemService(1006, 2002, reinterpret_cast<uintptr_t>(buffer))), "app.exe");
    EXPECT_STREQ(buffer, "app.exe");
    EXPECT_EQ(SystemService(1006, 7, reinterpret_cast<uintptr_t>(buffer)), 0u);
    platform::slots.GetModuleFileNameA = FakeGbkExePath;
    EXPECT_EQ(At(SystemService(1006, 1, reinterpret_cast<uintptr_t>(buffer))), "C:\\tools\\");
    EXPECT_EQ(At(SystemService(2004, 0, 0)), "\xD5\x5C.exe");
    platform::slots.GetModuleFileNameA = NoExePath;
    EXPECT_EQ(SystemService(2003, 0, 0), 0u);
    EXPECT_EQ(SystemService(2004, 0, 0), 0u);
    EXPECT_EQ(At(SystemService(1006, 1, reinterpret_cast<uintptr_t>(buffer))), "");

    struct Line {
        const char *line, *rest;
    } lines[] = {{"\"C:\\my tools\\app.exe\" x", "x"}, {"app.exe", ""}, {"app.exe a b", "a b"},
                 {"\"app.exe\"", ""}};
    platform::slots.GetCommandLineA = FakeCommandLine;
    for (const Line& l : lines) {
        command_line = l.line;
        EXPECT_EQ(At(SystemService(2002, 0, 0)), l.rest) << l.line;
    }

    struct Number {
        TaggedValue value;
        int32_t expected;
    } numbers[] = {{OfDouble(-2.7), -2}, {OfBits(ValueKind::Int64, (uint64_t{1} << 32) | 5), 5},
                   {OfFloat(3.9f), 3},   {OfInt32(-9), -9}, {OfDouble(1e300), INT32_MAX}};
    for (const Number& n : numbers)
        EXPECT_EQ(static_cast<int32_t>(SystemService(2001, reinterpret_cast<uintptr_t>(&n.value), 0)),
                  n.expected);

    void* block = reinterpret_cast<void*>(SystemService(2024, 16, 0));
    block = reinterpret_cast<void*>(SystemService(2026, reinterpret_cast<uintptr_t>(block), 32));
    platform::slots.HeapFree = RecordFree;
    SystemService(2025, reinterpret_cast<uintptr_t>(block), 0);
    EXPECT_EQ(Freed(), std::vector<const void*>{block});
    static int pumped = 0;
    platform::slots.PumpWaitingMessages = [] { ++pumped; };
    SystemService(2018, 0, 0);
    EXPECT_EQ(pumped, 1);

    EXPECT_EQ(SystemService(2029, 0, 0), 0u);
    EXPECT_EQ(ShownBoxes(), "[nightjar] 不支持系统功能函数2029. 请将此信息反馈给作者 {style 16}\n");
}

// A text array goes back to the heap with each of its members.
TEST_F(Host, ReleaseArraysByMemberKind) {
    ArrayCell cell = NewTextArray();
    AppendMember(cell, "a");
    AppendMember(cell, nullptr);
    AppendMember(cell, "c");
    DynamicArray* block = *cell;
    const std::vector<const void*> members = {TextMemberAt(ReferenceMember(block, 1)),
                                              TextMemberAt(ReferenceMember(block, 3)), block};
    platform::slots.HeapFree = RecordFree;
    SystemService(2023, static_cast<uintptr_t>(ValueKind::Text), reinterpret_cast<uintptr_t>(block));
    EXPECT_EQ(Freed(), members);
    FreeMemory(cell);
}

int32_t RecordNotify(int32_t message, uintptr_t p1, uintptr_t p2) {
    fprintf(stderr, "notify %d %s %d; ", static_cast<int>(message),
            p1 == reinterpret_cast<uintptr_t>(&SystemService) ? "service" : p1 == 0 ? "0" : "?",
            static_cast<int>(p2));
    return 0;
}

void DeleteAndSay(platform::CriticalSection*) { fputs("delete; ", stderr); }

void StartAndEnd() {
    SupportLibraryTable[0] = RecordNotify;
    RegisterExitCleanup([] { fputs("cleanup; ", stderr); });
    HostStartup();
    SupportLibraryTable[0] = ThreadSupportNotify;
    ThreadSupportNotify(kNotifyStart, 0, 0);
    for (int i = 0; i < 2; ++i) {
        auto* record = static_cast<LockRecord*>(std::calloc(1, sizeof(LockRecord)));
        record->next = LockRegistryHead;
        LockRegistryHead = record;
    }
    platform::slots.DeleteCriticalSection = DeleteAndSay;
    EndProgram(0);
}

TEST_F(HostDeathTest, NotificationsBracketTheProgram) {
    testutil::ExpectEnd(StartAndEnd, "notify 1 service 0; cleanup; delete; delete; ");
    EXPECT_EQ(ThreadSupportNotify(2, 0, 0), -1);
    testutil::ExpectEnd([] { SystemService(2027, reinterpret_cast<uintptr_t>("boom"), 0); },
                        "[ERROR] Nightjar RunTime Error:\r\n\r\nboom\n");
    testutil::ExpectEnd([] { SystemService(2028, 0, 0); }, "");
}

std::atomic<int> thread_ran{0};

TEST_F(Host, StartThreadRunsTheRoutine) {
    ASSERT_TRUE(StartThread([](void* p) { static_cast<std::atomic<int>*>(p)->store(7); }, &thread_ran));
    for (int waited = 0; thread_ran.load() == 0 && waited < 1000; ++waited) platform::slots.Sleep(10);
    EXPECT_EQ(thread_ran.load(), 7) << "the thread did not run within 10 s";
}

}  // namespace
