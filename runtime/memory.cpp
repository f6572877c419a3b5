// Allocation through the process heap, the fatal-error boxes and the end of the process.
#include "runtime/memory.h"

#include <atomic>
#include <cstdio>
#include <new>

namespace runtime {

platform::HeapHandle ProcessHeapHandle = nullptr;

namespace {

// Made before it is needed: the out-of-memory path allocates nothing.
const char kOutOfMemoryText[] = "内存不足";
const char kErrorCaption[] = "error";

const char* const kRuntimeErrorMessages[] = {
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误，通常是DLL参数数目不正确",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};
constexpr int32_t kRuntimeErrorCount = 11;

std::atomic<Routine> exit_cleanup{nullptr};
std::atomic<Routine> library_end_notification{nullptr};
std::atomic<Routine> final_exit_step{nullptr};

// Written on first need, always with the same value.
std::atomic<bool> image_range_known{false};
platform::AddressRange image_range{0, 0};

}  // namespace

platform::HeapHandle EnsureProcessHeap() {
    if (ProcessHeapHandle == nullptr) ProcessHeapHandle = platform::slots.GetProcessHeap();
    return ProcessHeapHandle;
}

void OutOfMemory() {
    // A box that itself runs out of memory ends the process without a second one.
    static std::atomic<bool> stopping{false};
    if (stopping.exchange(true)) platform::ExitProcess(0);
    platform::slots.MessageBoxA(nullptr, kOutOfMemoryText, kErrorCaption, platform::kMbIconError);
    EndProgram(0);
}

namespace {
// The standard library's allocations stop as ours do, from the start of the process.
const std::new_handler kPreviousNewHandler = std::set_new_handler(OutOfMemory);
}  // namespace

void* AllocateMemory(uint32_t size) {
    void* block = platform::slots.HeapAlloc(EnsureProcessHeap(), platform::kHeapZeroMemory, size);
    if (block == nullptr) OutOfMemory();
    return block;
}

void* ReallocateMemory(void* block, uint32_t size) {
    platform::HeapHandle heap = EnsureProcessHeap();
    if (block == nullptr) return platform::slots.HeapAlloc(heap, platform::kHeapZeroMemory, size);
    return platform::slots.HeapReAlloc(heap, 0, block, size);
}

uint32_t SizeSum(int64_t a, int64_t b) { return SizeProduct(a + b, 1); }

uint32_t SizeProduct(int64_t a, int64_t b) {
    // Operands are 32-bit counts and sizes, so the product cannot overflow 64 bits.
    if (a < 0 || b < 0 || a > UINT32_MAX || b > UINT32_MAX) OutOfMemory();
    uint64_t product = static_cast<uint64_t>(a) * static_cast<uint64_t>(b);
    if (product > UINT32_MAX) OutOfMemory();
    return static_cast<uint32_t>(product);
}

bool IsImageConstant(const void* value) {
    if (!image_range_known.load(std::memory_order_acquire)) {
        image_range = platform::OwnImageRange();
        image_range_known.store(true, std::memory_order_release);
    }
    auto address = reinterpret_cast<uintptr_t>(value);
    return address >= image_range.base && address <= image_range.end;
}

void FreeMemory(const void* value) {
    if (reinterpret_cast<uintptr_t>(value) <= 0xFFFF) return;
    if (IsImageConstant(value)) return;
    if (platform::slots.IsBadReadPtr(value, 8)) return;
    platform::slots.HeapFree(ProcessHeapHandle, 0, const_cast<void*>(value));
}

void RaiseRuntimeError(int32_t number) {
    // A number without a message leaves the second line empty.
    const char* message = (number >= 1 && number <= kRuntimeErrorCount)
                              ? kRuntimeErrorMessages[number - 1]
                              : "";
    char text[256];
    std::snprintf(text, sizeof text, "program internal error number is %d. \r\n%s",
                  static_cast<int>(number), message);
    platform::slots.MessageBoxA(nullptr, text, kErrorCaption, platform::kMbIconError);
    EndProgram(0);
}

void EndProgram(int32_t exit_code) {
    // Taken, not read: a second thread arriving here does not free the globals again.
    if (Routine cleanup = exit_cleanup.exchange(nullptr)) cleanup();
    if (Routine notify = library_end_notification.exchange(nullptr)) notify();
    if (Routine step = final_exit_step.exchange(nullptr)) step();
    platform::ExitProcess(static_cast<uint32_t>(exit_code));
}

void RegisterExitCleanup(Routine routine) { exit_cleanup.store(routine); }
void SetLibraryEndNotification(Routine routine) { library_end_notification.store(routine); }
void SetFinalExitStep(Routine routine) { final_exit_step.store(routine); }

}  // namespace runtime
