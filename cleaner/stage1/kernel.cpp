// The one place that asks the processor what it has, and reads SORREL_KERNEL.
#include "cleaner/stage1/kernel.h"

#include <cstdlib>
#include <cstring>

namespace cleaner {

const char* KernelName(Kernel kernel) {
    switch (kernel) {
        case Kernel::kScalar: return "scalar";
        case Kernel::kSse2: return "sse2";
        case Kernel::kPopcnt: return "popcnt";
        case Kernel::kAvx2: return "avx2";
    }
    return "";
}

bool Runs(Kernel kernel) {
    switch (kernel) {
        case Kernel::kScalar: return true;
#if defined(SORREL_X86) && defined(__SSE2__)
        case Kernel::kSse2: return true;
        case Kernel::kPopcnt: return __builtin_cpu_supports("popcnt");
        // __builtin_cpu_supports("avx2") also asks whether the system keeps its registers.
        case Kernel::kAvx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("pclmul");
#else
        default: return false;
#endif
    }
    return false;
}

Kernel ChosenKernel(const char* asked) {
    if (asked != nullptr)
        for (Kernel kernel : kKernels)
            if (std::strcmp(asked, KernelName(kernel)) == 0 && Runs(kernel)) return kernel;
    Kernel best = Kernel::kScalar;
    for (Kernel kernel : kKernels)
        if (Runs(kernel)) best = kernel;
    return best;
}

Kernel& ActiveKernel() {
    static Kernel kernel = ChosenKernel(std::getenv("SORREL_KERNEL"));
    return kernel;
}

}  // namespace cleaner
