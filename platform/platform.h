// The one interface between Sorrel and the operating system.
//
// Everything above this folder reaches the system only through the functions and slots
// declared here. platform/win32 implements them with the Windows calls the program is
// specified against; platform/posix is the stand-in that lets the same program build and
// run on Linux.
//
// System calls go through `slots`, a table of typed function pointers (the SQLite habit),
// so a test can swap one entry to make an allocation fail or to capture a message box.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using HeapHandle = void*;
using WindowHandle = void*;

// Flag of HeapAlloc: the block comes back cleared.
constexpr uint32_t kHeapZeroMemory = 0x00000008;
// Message-box style: the error icon with the single OK button.
constexpr uint32_t kMbIconError = 0x00000010;

struct Slots {
    HeapHandle (*GetProcessHeap)();
    void* (*HeapAlloc)(HeapHandle heap, uint32_t flags, size_t size);
    void* (*HeapReAlloc)(HeapHandle heap, uint32_t flags, void* block, size_t size);
    int (*HeapFree)(HeapHandle heap, uint32_t flags, void* block);
    // Non-zero when `size` bytes at `address` cannot be read; the stand-in probes too.
    int (*IsBadReadPtr)(const void* address, size_t size);
    // Returns the button identifier, 0 when no box could be shown. Texts are GBK.
    int (*MessageBoxA)(WindowHandle owner, const char* text, const char* caption,
                       uint32_t style);
};

// The live table; tests may swap entries and must restore them.
extern Slots slots;
// The table as the platform fills it, for restoring.
const Slots& DefaultSlots();

// The program's own loaded image: [base, end] holds every constant built into it.
struct AddressRange {
    uintptr_t base;
    uintptr_t end;
};
AddressRange OwnImageRange();

// Ends the process at once with `code`; nothing after it runs.
[[noreturn]] void ExitProcess(uint32_t code);

}  // namespace platform
