// Memory and the way out of the process.
//
// AllocateMemory never returns null and always returns cleared memory: when the heap
// refuses, it shows "内存不足" and ends the process; so does any allocation of the standard
// library (containers, new) that the system refuses. FreeMemory accepts null, small
// integers (up to 0xFFFF), the program's image constants and live blocks of the process
// heap, and releases only the last; it ignores what it cannot read. Anything else that can
// be read (a block already freed, a pointer into a block, another heap's block) must not be
// passed to it: the heap would be asked to free it.
//
// Every path of the program ends in EndProgram, which runs, in this order: the exit clean-up
// routine (once, whichever thread gets there first), the support libraries' end
// notification, the final exit step (the binder's unloading), and the exit itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "runtime/value.h"

namespace runtime {

// The process heap; set at start-up, or by the first allocation that finds it unset.
extern platform::HeapHandle ProcessHeapHandle;
platform::HeapHandle EnsureProcessHeap();

void* AllocateMemory(uint32_t size);
// Null block: a fresh cleared block. Otherwise the block resized, gained bytes not cleared.
// Null when the heap refuses; the old block then stays valid. No stop of its own.
void* ReallocateMemory(void* block, uint32_t size);
void FreeMemory(const void* value);

// Holds one returned block and releases it with FreeMemory: Owned<char> for a Text,
// Owned<ByteSetHeader> for a ByteSet.
struct FreeMemoryDeleter {
    void operator()(const void* block) const { FreeMemory(block); }
};
template <class T>
using Owned = std::unique_ptr<T, FreeMemoryDeleter>;
using OwnedText = Owned<char>;
using OwnedBytes = Owned<ByteSetHeader>;

// Shows the "内存不足" box and ends the process.
[[noreturn]] void OutOfMemory();

// a + b and a * b for block sizes; a result that does not fit 32 bits (or is negative)
// means the block cannot be had, so these stop like exhausted memory.
uint32_t SizeSum(int64_t a, int64_t b);
uint32_t SizeProduct(int64_t a, int64_t b);

// True when the address lies in the program's own image, that is, it is an image constant.
bool IsImageConstant(const void* value);

[[noreturn]] void RaiseRuntimeError(int32_t number);
[[noreturn]] void EndProgram(int32_t exit_code);

using Routine = void (*)();
void RegisterExitCleanup(Routine routine);
// The support libraries' end notification, set by the program host.
void SetLibraryEndNotification(Routine routine);
// The step just before the exit, set by the binder when it loads its first library.
void SetFinalExitStep(Routine routine);

}  // namespace runtime
