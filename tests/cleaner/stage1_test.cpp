// Stage 1 alone: each kernel gives the scalar one's bits, block by block, on bytes drawn from
// what markup is made of and on odd saves at every offset.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "cleaner/stage1/marks.h"
#include "tools/odd_save.h"

namespace {

using cleaner::Kernel;
using cleaner::Mask;

// Everything a kernel computes of the block at `p`, the carry from the block before given.
template <Kernel K>
std::string Stage1(const uint8_t* p, cleaner::Carry carry) {
    using C = cleaner::marks::Compares<K>;
    cleaner::Marks m;
    const Mask faults = cleaner::MarkedFaults(K, p, m, &carry);
    const cleaner::marks::Raw raw = C::RawOf(p);
    Mask dq = 0, sq = 0, eq = 0;
    C::Quotes(p, &dq, &sq, &eq);
    const Mask parts[] = {faults, m.lt, m.gt, m.slash, m.end_tags, m.markup, m.dq, m.sq, m.eq, m.empty_closers, m.paired_ends,
                          raw.lt, raw.gt, raw.slash, raw.bang, dq, sq, eq, C::Blanks(p), C::AtMostSpace(p),
                          C::template TagStarts<'i', 'I', 'l', 'd', 'D', 'o'>(p), cleaner::marks::PrefixXor<K>(raw.lt | raw.gt)};
    std::string out = std::to_string(carry.bits) + " " + std::to_string(m.deeper) + " " + std::to_string(raw.quoted) + " " +
                      std::to_string(cleaner::marks::Count<K>(raw.lt));
    for (Mask part : parts) out += " " + std::to_string(static_cast<uint64_t>(part));
    return out;
}

std::string Stage1By(Kernel kernel, const uint8_t* p, cleaner::Carry carry) {
    switch (kernel) {
        case Kernel::kScalar: return Stage1<Kernel::kScalar>(p, carry);
        case Kernel::kSse2: return Stage1<Kernel::kSse2>(p, carry);
        case Kernel::kPopcnt: return Stage1<Kernel::kPopcnt>(p, carry);
        case Kernel::kAvx2: return Stage1<Kernel::kAvx2>(p, carry);
    }
    return "";
}

TEST(Stage1, EachKernelGivesTheScalarBits) {
    std::vector<std::string> texts;
    std::mt19937_64 rng(5);
    const std::string alphabet = "<>/!?\"'= \t\r\nidlIDoax-[&";
    for (int i = 0; i < 300; ++i) {
        std::string text(256, ' ');
        for (char& c : text) c = alphabet[static_cast<size_t>(rng() % alphabet.size())];
        texts.push_back(text);
    }
    for (uint64_t seed = 1; seed <= 2; ++seed) texts.push_back(tools::OddSave({seed, 0, 4}));
    const uint32_t carries[] = {0, cleaner::Carry::kInTag, cleaner::Carry::kInTag | cleaner::Carry::kEndTag,
                                cleaner::Carry::kInTag | cleaner::Carry::kInDouble | cleaner::Carry::kEquals,
                                cleaner::Carry::kInTag | cleaner::Carry::kInSingle, cleaner::Carry::kInTag | cleaner::Carry::kSlash};
    for (const std::string& text : texts) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        for (size_t at = 64; at + 2 * cleaner::kBlockBits + 3 <= text.size(); at += text.size() > 1000 ? 1 : 7) {
            const cleaner::Carry carry{carries[at % std::size(carries)]};
            const std::string scalar = Stage1By(Kernel::kScalar, bytes + at, carry);
            for (Kernel kernel : cleaner::kKernels) {
                if (!cleaner::Runs(kernel)) continue;
                ASSERT_EQ(Stage1By(kernel, bytes + at, carry), scalar) << cleaner::KernelName(kernel) << " at " << at;
            }
        }
    }
}

}  // namespace
