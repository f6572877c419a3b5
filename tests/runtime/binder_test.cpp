// Binding on first call, the names asked for, the failures, and unloading at the end.
#include <cstdio>

#include "runtime/binder.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;

char first_library[1024];
char second_library[1024];

// The test libraries sit beside this program and are named by full path.
void FindLibraries() {
#ifdef _WIN32
    char self[1024];
    uint32_t n = platform::slots.GetModuleFileNameA(nullptr, self, sizeof self);
    std::string dir(self, n);
    dir = dir.substr(0, dir.rfind('\\') + 1);
    std::snprintf(first_library, sizeof first_library, "%sbindee.dll", dir.c_str());
    std::snprintf(second_library, sizeof second_library, "%sbindee_second.dll", dir.c_str());
#else
    std::snprintf(first_library, sizeof first_library, "%s/bindee.so", BINDEE_DIR);
    std::snprintf(second_library, sizeof second_library, "%s/bindee_second.so", BINDEE_DIR);
#endif
}

class Binder : public testutil::SlotTest {
protected:
    void SetUp() override {
        SlotTest::SetUp();
        FindLibraries();
    }
};
using BinderDeathTest = Binder;

constexpr BindingNames kAdd{first_library, "BindeeAdd"};
constexpr BindingNames kTwice{first_library, "BindeeTwice@@anything"};
int bind_calls = 0;
void* CountingGetProcAddress(platform::ModuleHandle module, const char* name) {
    ++bind_calls;
    return platform::DefaultSlots().GetProcAddress(module, name);
}

TEST_F(Binder, FirstCallBindsAndLaterCallsGoStraight) {
    using Add = Binding<kAdd, int, int, int>;
    platform::slots.GetProcAddress = CountingGetProcAddress;
    EXPECT_FALSE(Add::Bound());
    EXPECT_EQ(Add::Call(2, 3), 5);  // the first call reaches the function with its arguments
    EXPECT_TRUE(Add::Bound());
    EXPECT_EQ(Add::Call(40, 2), 42);
    EXPECT_EQ(bind_calls, 1);

    uint32_t loaded = LoadedModuleTable.count;
    EXPECT_EQ((Binding<kTwice, int, int>::Call(21)), 42);  // asked for as "BindeeTwice"
    EXPECT_EQ(LoadedModuleTable.count, loaded);             // already in the process
}

constexpr BindingNames kNoLibrary{"nosuch.dll", "Anything"};
// "X@8" is asked for unchanged: only "@@" cuts a name.
constexpr BindingNames kDecorated{first_library, "BindeeAdd@8"};
using NoLibrary = Binding<kNoLibrary, int>;
using Decorated = Binding<kDecorated, int, int, int>;

TEST_F(BinderDeathTest, MissingLibraryOrFunction) {
    testutil::ExpectEnd([] { NoLibrary::Call(); }, "[DLL ERROR] 同目录下无法找到DLL文件:\"nosuch.dll\".请与作者联系.\n");
    testutil::ExpectEnd([] { Decorated::Call(1, 2); },
                        std::string("[DLL ERROR] 无法定位DLL文件:\"") + first_library + "\"当中的\"BindeeAdd@8\"函数.\n");
}

platform::ModuleHandle first_handle, second_handle;
int ReportFree(platform::ModuleHandle module) {
    fputs(module == first_handle ? "first " : module == second_handle ? "second " : "other ", stderr);
    return platform::DefaultSlots().FreeLibrary(module);
}

constexpr BindingNames kFirst{first_library, "BindeeTwice"};
constexpr BindingNames kSecond{second_library, "BindeeTwice"};

void BindTwoThenEnd() {
    RegisterExitCleanup([] { fputs("cleanup ", stderr); });
    Binding<kFirst, int, int>::Call(1);
    Binding<kSecond, int, int>::Call(1);
    first_handle = platform::slots.GetModuleHandleA(first_library);
    second_handle = platform::slots.GetModuleHandleA(second_library);
    platform::slots.FreeLibrary = ReportFree;
    EndProgram(0);
}

TEST_F(BinderDeathTest, LoadedLibrariesAreReleasedInOrderAtTheEnd) {
    testutil::ExpectEnd(BindTwoThenEnd, "cleanup first second ");
}

}  // namespace
