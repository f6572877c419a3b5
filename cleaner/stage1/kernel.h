// The kernels stage 1 runs on: the same byte compares taken one byte at a time, sixteen
// bytes a compare (SSE2), with the processor's own count of bits (POPCNT), or thirty-two
// bytes a compare (AVX2, with POPCNT and the carry-less multiplication). Each gives the same
// bits; the walk takes one, chosen once: the best the processor has, or the one the
// environment's SORREL_KERNEL names ("scalar", "sse2", "popcnt", "avx2") where the processor
// has it. A test or a benchmark sets it to take each in turn.
#pragma once

#include <cstdint>

// The processor's own compares and their target regions exist on x86 with a GNU compiler;
// elsewhere every kernel is the scalar one, and the attribute below says nothing.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define SORREL_X86 1
#define SORREL_TARGET(what) gnu::target(what)
#else
#define SORREL_TARGET(what)
#endif

namespace cleaner {

enum class Kernel : uint8_t { kScalar, kSse2, kPopcnt, kAvx2 };
inline constexpr Kernel kKernels[] = {Kernel::kScalar, Kernel::kSse2, Kernel::kPopcnt, Kernel::kAvx2};

// Its name, as SORREL_KERNEL spells it.
const char* KernelName(Kernel kernel);

// The processor (and the build) runs it.
bool Runs(Kernel kernel);

// The kernel named `asked` where it runs, else the best that runs (null or an unknown name:
// the best).
Kernel ChosenKernel(const char* asked);

// The kernel a walk takes when it begins: ChosenKernel of SORREL_KERNEL, read once.
Kernel& ActiveKernel();

// `f.template operator()<K>()` for the K of `kernel`, compiled for what that kernel's
// processor has, with all it calls (the kernel's compares among them) inlined there.
template <class F>
[[SORREL_TARGET("avx2,popcnt,pclmul"), gnu::flatten]] inline auto OnAvx2(F& f) {
    return f.template operator()<Kernel::kAvx2>();
}
template <class F>
[[SORREL_TARGET("popcnt"), gnu::flatten]] inline auto OnPopcnt(F& f) {
    return f.template operator()<Kernel::kPopcnt>();
}
template <Kernel K, class F>
[[gnu::flatten]] inline auto On(F& f) {
    return f.template operator()<K>();
}
template <class F>
inline auto WithKernel(Kernel kernel, F&& f) {
    switch (kernel) {
        case Kernel::kAvx2: return OnAvx2(f);
        case Kernel::kPopcnt: return OnPopcnt(f);
        case Kernel::kSse2: return On<Kernel::kSse2>(f);
        case Kernel::kScalar: break;
    }
    return On<Kernel::kScalar>(f);
}

}  // namespace cleaner
