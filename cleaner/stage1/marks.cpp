// Stage 1 for the blocks the walk takes one at a time, by the kernel it was given.
#include "cleaner/stage1/marks.h"

namespace cleaner {

Mask MarkedFaults(Kernel kernel, const uint8_t* p, Marks& m, Carry* carry) {
    return WithKernel(kernel, [&]<Kernel K>() {
        Mark<K>(p, m);
        return Faults<K>(p, m, carry);
    });
}

}  // namespace cleaner
