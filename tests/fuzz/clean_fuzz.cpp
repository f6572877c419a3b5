// libFuzzer target: the whole cleaning of one input in memory, plus the two entry scans at a
// start taken from the input and the walk over the input's items. Boxes are swallowed;
// nothing may crash, hang or trip a sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "cleaner/clean.h"
#include "cleaner/entry_cuts.h"
#include "cleaner/items.h"
#include "cleaner/prune.h"
#include "platform/platform.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {

int SwallowBox(platform::WindowHandle, const char*, const char*, uint32_t) { return 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    platform::slots.MessageBoxA = SwallowBox;
    runtime::Owned<runtime::ByteSetHeader> file(runtime::MakeByteSet(data, static_cast<int32_t>(size)));
    cleaner::Pruned pruned = cleaner::CleanBytes(file.get());

    if (size >= 2) {
        int32_t start = static_cast<int32_t>(data[0] | (data[1] << 8)) - 100;
        cleaner::SaveView text = cleaner::SaveView{data, static_cast<int32_t>(size)}.AsText();
        cleaner::FindEntryEnd(text, start);
        cleaner::FindEntryStart(text, start);
        static const std::vector<std::string_view> held = {"", "A", "Human1"};
        cleaner::ItemsWithIds(cleaner::TopLevelItems(text), held);
    }
    return 0;
}
