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
using FileHandle = void*;
using ModuleHandle = void*;

// What CreateFileA gives when the file cannot be opened or created.
inline FileHandle InvalidFile() { return reinterpret_cast<FileHandle>(~uintptr_t{0}); }

// CreateFileA parameters.
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kFileShareReadWrite = 3;  // FILE_SHARE_READ | FILE_SHARE_WRITE
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kFileAttributeArchive = 0x20;

// A critical section's storage, big enough for the platform's own record.
struct CriticalSection {
    alignas(8) unsigned char storage[64];
};

// Thread routines take one pointer-sized parameter.
using ThreadRoutine = void (*)(void* parameter);

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

    // Files. Paths are GBK. No security attributes and no template are ever passed.
    FileHandle (*CreateFileA)(const char* path, uint32_t access, uint32_t share,
                              uint32_t creation, uint32_t attributes);
    uint32_t (*GetFileSize)(FileHandle file, uint32_t* high);
    int (*ReadFile)(FileHandle file, void* data, uint32_t size, uint32_t* read);
    int (*WriteFile)(FileHandle file, const void* data, uint32_t size, uint32_t* written);
    int (*CloseHandle)(FileHandle handle);
    int (*PathFileExistsA)(const char* path);
    int (*DeleteFileA)(const char* path);

    // Libraries. LoadLibrary looks for a bare file name in the system's own library folder
    // only (never in the program's folder or the current one); a full path is loaded as
    // given. A name that GetProcAddress gets with a high part of 0 is an ordinal.
    ModuleHandle (*GetModuleHandleA)(const char* name);
    ModuleHandle (*LoadLibrary)(const char* name);
    void* (*GetProcAddress)(ModuleHandle module, const char* name);
    int (*FreeLibrary)(ModuleHandle module);

    // The program host.
    uint32_t (*GetModuleFileNameA)(ModuleHandle module, char* buffer, uint32_t size);
    const char* (*GetCommandLineA)();
    // Creates a running thread; stores its handle, or closes it when `handle` is null.
    int (*CreateThread)(ThreadRoutine routine, void* parameter, FileHandle* handle);
    void (*DeleteCriticalSection)(CriticalSection* section);
    // Dispatches the window messages waiting on this thread, leaving a WM_QUIT queued.
    void (*PumpWaitingMessages)();
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
