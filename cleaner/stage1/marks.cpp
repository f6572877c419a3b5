// Stage 1 for the blocks the walk takes one at a time, by the kernel it was given.
#include "cleaner/stage1/marks.h"

namespace cleaner {

Mask MarkedFaults(Kernel kernel, const uint8_t* p, Marks& m, Carry* carry) {
    return WithKernel(kernel, [&]<Kernel K>() {
        const marks::Raw raw = marks::Compares<K>::RawOf(p);
        const Mask faults = Stage1<K>(p, raw, NextOf(p[kBlockBits]), m, carry);
        m.deeper = static_cast<int8_t>(Deeper<K>(m));
        return faults;
    });
}

}  // namespace cleaner
