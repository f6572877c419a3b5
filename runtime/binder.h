// Functions of libraries that are not linked when the program is built, bound on their
// first call.
//
// Each such function has a slot that every call goes through. The slot first holds a stub:
// the first call asks BindSystemFunction for the function, which stores its address in the
// slot, and then continues into it with the caller's arguments; later calls go straight to
// the function. The slot is typed with the function's exact type and calling convention,
// so every call leaves the stack as it found it by construction (the stack check after a
// call of a declared system function can never fail; its error number 6 stays reserved).
//
// A library the binder had to load is recorded and released when the program ends, after
// the support libraries' end notification. Failing to find a library or a function shows
// a "DLL ERROR" box and ends the program.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The calling convention of Windows system functions on the 32-bit product.
#if defined(_WIN32) && !defined(_WIN64)
#define SYSTEM_API __attribute__((stdcall))
#else
#define SYSTEM_API
#endif

namespace runtime {

constexpr int kLoadedModuleCapacity = 100;

struct LoadedModules {
    platform::ModuleHandle handles[kLoadedModuleCapacity];
    uint32_t count;
};
extern LoadedModules LoadedModuleTable;

// Finds `function` (a name, "#" and a decimal ordinal, or a name cut at a first "@@") in
// `library`, stores its address in *slot and returns it. Does not return on failure.
void* BindSystemFunction(const char* library, const char* function, void** slot);
// Releases the libraries the binder loaded, in the order it loaded them.
void UnloadBoundModules();

struct BindingNames {
    const char* library;
    const char* function;
};

// One function bound on first call: Binding<kNames, Result, Arguments...>::Call(...).
template <const BindingNames& Names, typename R, typename... A>
class Binding {
public:
    using Function = R(SYSTEM_API*)(A...);

    static R Call(A... args) { return reinterpret_cast<Function>(slot)(args...); }
    static bool Bound() { return slot != reinterpret_cast<void*>(&Stub); }

private:
    static R SYSTEM_API Stub(A... args) {
        void* address = BindSystemFunction(Names.library, Names.function, &slot);
        return reinterpret_cast<Function>(address)(args...);
    }

    static inline void* slot = reinterpret_cast<void*>(&Stub);
};

}  // namespace runtime
