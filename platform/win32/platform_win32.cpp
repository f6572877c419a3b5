// The Windows implementation of platform.h: the calls the program is specified against,
// made with exactly the parameters it names.
#include "platform/platform.h"

#include <windows.h>

namespace platform {
namespace {

HeapHandle WinGetProcessHeap() { return ::GetProcessHeap(); }

void* WinHeapAlloc(HeapHandle heap, uint32_t flags, size_t size) {
    return ::HeapAlloc(static_cast<HANDLE>(heap), flags, size);
}

void* WinHeapReAlloc(HeapHandle heap, uint32_t flags, void* block, size_t size) {
    return ::HeapReAlloc(static_cast<HANDLE>(heap), flags, block, size);
}

int WinHeapFree(HeapHandle heap, uint32_t flags, void* block) {
    return ::HeapFree(static_cast<HANDLE>(heap), flags, block);
}

int WinIsBadReadPtr(const void* address, size_t size) { return ::IsBadReadPtr(address, size); }

int WinMessageBoxA(WindowHandle owner, const char* text, const char* caption, uint32_t style) {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

const Slots kDefaultSlots = {
    WinGetProcessHeap, WinHeapAlloc,    WinHeapReAlloc, WinHeapFree,
    WinIsBadReadPtr,   WinMessageBoxA,
};

}  // namespace

Slots slots = kDefaultSlots;

const Slots& DefaultSlots() { return kDefaultSlots; }

// The image starts at our module handle; its size is the PE optional header's SizeOfImage,
// reached through the DOS header's pointer to the PE header.
AddressRange OwnImageRange() {
    auto base = reinterpret_cast<const unsigned char*>(::GetModuleHandleA(nullptr));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    auto start = reinterpret_cast<uintptr_t>(base);
    return {start, start + nt->OptionalHeader.SizeOfImage};
}

void ExitProcess(uint32_t code) {
    ::ExitProcess(code);
}

}  // namespace platform
