// The program host: what runs at process entry before the program's own start, the support
// libraries' start and end notifications, and the numbered service the host offers them.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "runtime/array.h"

namespace runtime {

// A support library's notification routine: message 1 = the program starts (p1 = the
// SystemService entry), 6 = it ends. Answers 0 for a message it handles, -1 otherwise.
using LibraryNotify = int32_t (*)(int32_t message, uintptr_t p1, uintptr_t p2);
constexpr int32_t kNotifyStart = 1;
constexpr int32_t kNotifyEnd = 6;

// The support libraries, in order, ended by a null entry: ThreadSupport only.
extern LibraryNotify SupportLibraryTable[2];

uintptr_t SystemService(int32_t code, uintptr_t p1, uintptr_t p2);

// Sets the process heap, tells each support library the program starts, and arranges for
// EndProgram to tell them it ends.
void HostStartup();

// Frees every non-null member of an array of owned pointers, then the block.
void FreePointerArray(DynamicArray* block);

// ThreadSupport.
int32_t ThreadSupportNotify(int32_t message, uintptr_t p1, uintptr_t p2);
// Starts a thread on `routine` at once; keeps its handle in *handle, or closes it.
bool StartThread(platform::ThreadRoutine routine, void* parameter = nullptr,
                 platform::FileHandle* handle = nullptr);

// A critical section kept by ThreadSupport; records are released with the C library's free.
struct LockRecord {
    platform::CriticalSection section;
    LockRecord* next;
};
extern LockRecord* LockRegistryHead;

}  // namespace runtime
