// libFuzzer target: the whole cleaning of one input in memory, without and with the
// mothballed list cleaned, plus the scan for an entry's end at a start taken from the input.
// Boxes are swallowed; nothing may crash, hang or trip a sanitizer, and the cleaning reads
// the input alike in chunks of any size: the same halt, notices and output.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cleaner/clean.h"
#include "cleaner/entry_cuts.h"
#include "platform/platform.h"
#include "tests/cleaner/in_memory.h"

namespace {

int SwallowBox(platform::WindowHandle, const char*, const char*, uint32_t) { return 1; }

std::string Outcome(const std::string& input, const cleaner::CleanOptions& options, size_t chunk) {
    const cleaner::Pruned pruned = inmemory::Clean(input, options, chunk);
    std::string out = std::to_string(static_cast<int>(pruned.halt)) + ":";
    for (const cleaner::Notice& notice : pruned.notices)
        out += std::to_string(notice.taken) + "/" + std::to_string(notice.total) + " ";
    return out + inmemory::Joined(input, pruned.pieces);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    platform::slots.MessageBoxA = SwallowBox;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t chunk = size > 0 ? 1 + data[0] % 13 : 1;
    for (bool mothballed : {false, true}) {
        cleaner::CleanOptions options;
        options.mothballed = mothballed;
        if (Outcome(input, options, chunk) != Outcome(input, options, 256 << 10)) __builtin_trap();
    }
    if (size >= 2) {
        int32_t start = static_cast<int32_t>(data[0] | (data[1] << 8)) - 100;
        cleaner::TextInMemory text(data, static_cast<int32_t>(size));
        cleaner::FindEntryEnd(text, start);
        cleaner::FindEntryStart(text, start);
    }
    return 0;
}
