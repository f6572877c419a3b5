// Binding of system functions on their first call, and the release of what it loaded.
#include "runtime/binder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/memory.h"

namespace runtime {

LoadedModules LoadedModuleTable = {};

namespace {

const char kDllErrorCaption[] = "DLL ERROR";
constexpr int kWorkBufferSize = 1024;

[[noreturn]] void DllError(const char* text) {
    platform::slots.MessageBoxA(nullptr, text, kDllErrorCaption, platform::kMbIconError);
    EndProgram(0);
}

platform::ModuleHandle FindOrLoad(const char* library, char* work) {
    platform::ModuleHandle module = platform::slots.GetModuleHandleA(library);
    if (module != nullptr) return module;  // already in the process: not ours to release
    module = platform::slots.LoadLibrary(library);
    if (module == nullptr) {
        std::snprintf(work, kWorkBufferSize, "同目录下无法找到DLL文件:\"%s\".请与作者联系.", library);
        DllError(work);
    }
    // Past the table's room a library stays loaded until the process ends.
    if (LoadedModuleTable.count < kLoadedModuleCapacity) {
        if (LoadedModuleTable.count == 0) SetFinalExitStep(UnloadBoundModules);
        LoadedModuleTable.handles[LoadedModuleTable.count++] = module;
    }
    return module;
}

// The name GetProcAddress is asked for: an ordinal in the low word, or the declared name
// cut at a first "@" that is directly followed by a second one.
const char* ExportName(const char* function, char* work) {
    if (function[0] == '#') {
        long ordinal = std::strtol(function + 1, nullptr, 10);
        return reinterpret_cast<const char*>(static_cast<uintptr_t>(ordinal) & 0xFFFF);
    }
    std::snprintf(work, kWorkBufferSize, "%s", function);
    char* at = std::strchr(work, '@');
    if (at != nullptr && at[1] == '@') *at = '\0';
    return work;
}

}  // namespace

void* BindSystemFunction(const char* library, const char* function, void** slot) {
    char work[kWorkBufferSize];
    platform::ModuleHandle module = FindOrLoad(library, work);
    void* address = platform::slots.GetProcAddress(module, ExportName(function, work));
    if (address == nullptr) {
        std::snprintf(work, kWorkBufferSize, "无法定位DLL文件:\"%s\"当中的\"%s\"函数.", library,
                      function);
        DllError(work);
    }
    *slot = address;
    return address;
}

void UnloadBoundModules() {
    for (int i = 0; i < kLoadedModuleCapacity && LoadedModuleTable.handles[i] != nullptr; ++i)
        platform::slots.FreeLibrary(LoadedModuleTable.handles[i]);
}

}  // namespace runtime
