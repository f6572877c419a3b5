// libFuzzer target: the whole cleaning of one input in memory, without and with the
// mothballed list cleaned and with every extra kind removed, plus the scans for an entry's start and end at a start taken from
// the input. Boxes are swallowed; nothing may crash, hang or trip a sanitizer; the cleaning
// reads the input alike in chunks of any size (the same halt, notices and output); the index
// read in two stages, by any kernel, is the byte tokenizer's, whatever the input; and where the input is XML,
// libxml2 finds every output sound.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "cleaner/clean.h"
#include "cleaner/entry_cuts.h"
#include "cleaner/stage1/kernel.h"
#include "platform/platform.h"
#include "tests/cleaner/in_memory.h"
#include "tests/cleaner/index_dump.h"
#include "tests/cleaner/xml_judge.h"

namespace {

int SwallowBox(platform::WindowHandle, const char*, const char*, uint32_t) { return 1; }

// The halt, the notices and the output.
std::string Outcome(const std::string& input, const cleaner::CleanOptions& options, size_t chunk, std::string* output) {
    const cleaner::Pruned pruned = inmemory::Clean(input, options, chunk);
    std::string out = std::to_string(static_cast<int>(pruned.halt)) + ":";
    for (const cleaner::Notice& notice : pruned.notices)
        out += std::to_string(notice.taken) + "/" + std::to_string(notice.total) + " ";
    *output = pruned.halt == cleaner::Halt::kNone ? inmemory::Joined(input, pruned.pieces) : "";
    return out + *output;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    platform::slots.MessageBoxA = SwallowBox;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t chunk = size > 0 ? 1 + data[0] % 13 : 1;
    // The two stages by each kernel the processor runs, chosen by the input's last byte.
    const cleaner::Kernel kernel = size > 0 ? cleaner::kKernels[data[size - 1] % std::size(cleaner::kKernels)] : cleaner::Kernel::kScalar;
    cleaner::ActiveKernel() = cleaner::Runs(kernel) ? kernel : cleaner::ChosenKernel(nullptr);
    const bool xml = judge::WellFormed(input);
    for (bool with_extras : {false, true}) {
        if (indexdump::Indexed(input, chunk, with_extras, cleaner::Reading::kTwoStages) !=
            indexdump::Indexed(input, 256 << 10, with_extras, cleaner::Reading::kBytes))
            __builtin_trap();
    }
    for (bool mothballed : {false, true}) {
        cleaner::CleanOptions options;
        options.mothballed = mothballed;
        std::string output, again;
        if (Outcome(input, options, chunk, &output) != Outcome(input, options, 256 << 10, &again)) __builtin_trap();
        if (xml && !output.empty() && !judge::Unsound(input, output).empty()) __builtin_trap();
    }
    // With every extra kind asked for: read alike in any chunks, and XML still where the input was.
    cleaner::CleanOptions extras;
    extras.extras.fill(true);
    std::string output, again;
    if (Outcome(input, extras, chunk, &output) != Outcome(input, extras, 256 << 10, &again)) __builtin_trap();
    if (xml && !output.empty() && !judge::WellFormed(output)) __builtin_trap();
    if (size >= 2) {
        int32_t start = static_cast<int32_t>(data[0] | (data[1] << 8)) - 100;
        cleaner::TextInMemory text(data, static_cast<int32_t>(size));
        cleaner::FindEntryEnd(text, start);
        cleaner::FindEntryStart(text, start);
    }
    return 0;
}
