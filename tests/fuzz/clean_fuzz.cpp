// libFuzzer target: the whole cleaning of one input in memory, without and with the
// mothballed list cleaned, plus the two entry scans at a start taken from the input and the
// walk over the input's items. Boxes are swallowed; nothing may crash, hang or trip a
// sanitizer, and every output is the input with each list it cleans holding whitespace and
// whole items of the input's list, no own id twice.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cleaner/clean.h"
#include "cleaner/entry_cuts.h"
#include "cleaner/items.h"
#include "cleaner/prune.h"
#include "cleaner/world_lists.h"
#include "platform/platform.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {

int SwallowBox(platform::WindowHandle, const char*, const char*, uint32_t) { return 1; }

std::string_view Of(cleaner::SaveView v) { return {reinterpret_cast<const char*>(v.data), static_cast<size_t>(v.length)}; }

bool OnlySpace(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return cleaner::IsXmlSpace(static_cast<uint8_t>(c)); });
}

// The output ends as the input does from `kept` on; before that, from `start`, it holds only
// whitespace and whole items of `content`, each own id once.
void CheckList(std::string_view in, std::string_view written, size_t start, size_t kept, std::string_view content) {
    const size_t tail = in.size() - kept;
    if (start > written.size() || written.size() - start < tail || written.substr(written.size() - tail) != in.substr(kept))
        __builtin_trap();
    const std::string_view list = written.substr(start, written.size() - tail - start);
    std::set<std::string_view> ids;
    size_t at = 0;
    for (const cleaner::ListItem& item : cleaner::TopLevelItems({reinterpret_cast<const uint8_t*>(list.data()),
                                                                 static_cast<int32_t>(list.size())})) {
        const std::string_view bytes = Of(item.bytes);
        const size_t begin = static_cast<size_t>(bytes.data() - list.data());
        if (!OnlySpace(list.substr(at, begin - at)) || content.find(bytes) == std::string_view::npos) __builtin_trap();
        if (item.HasOwnId() && !ids.insert(item.OwnId()).second) __builtin_trap();
        at = begin + bytes.size();
    }
    if (!OnlySpace(list.substr(at))) __builtin_trap();
}

std::string Joined(const std::vector<cleaner::SaveView>& pieces) {
    std::string out;
    for (cleaner::SaveView piece : pieces) out += Of(piece);
    return out;
}

// The output keeps the input after the living list, and before it too unless entries of the
// list of pawns kept whatever happens went.
void CheckWhole(cleaner::SaveView file, const std::vector<cleaner::SaveView>& pieces) {
    const cleaner::PawnSection section = cleaner::CutPawnSection(file);
    const std::string out = Joined(pieces);
    const std::string_view in = Of(file);
    const bool forgets = !cleaner::FindKeptForever(file, section).empty();
    const size_t head = forgets ? out.find("<pawnsAlive>") + 12 : static_cast<size_t>(section.a) + 11;
    if (!forgets && out.compare(0, head, in.substr(0, head)) != 0) __builtin_trap();
    CheckList(in, out, head, static_cast<size_t>(section.z) - 1, Of(section.Content()));
}

// With the mothballed list cleaned too, the output keeps the input from the living list's
// closing tag through the mothballed list's opening tag, and after that list.
void CheckMothballed(cleaner::SaveView file, const std::vector<cleaner::SaveView>& pieces) {
    const cleaner::PawnSection section = cleaner::CutPawnSection(file);
    const cleaner::MothballedList list = cleaner::FindMothballed(file, section);
    if (!list.present) return;
    const std::string out = Joined(pieces);
    const std::string_view in = Of(file);
    const auto z = static_cast<size_t>(section.z) - 1, from = static_cast<size_t>(list.from);
    const size_t at = out.find(in.substr(z, from - z));
    if (at == std::string::npos) __builtin_trap();
    CheckList(in, out, at + from - z, static_cast<size_t>(list.to), Of(list.content));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) return 0;
    platform::slots.MessageBoxA = SwallowBox;
    const cleaner::SaveView file{size > 0 ? data : nullptr, static_cast<int32_t>(size)};
    cleaner::Pruned pruned = cleaner::CleanBytes(file, {});
    if (pruned.halt == cleaner::Halt::kNone) CheckWhole(file, pruned.pieces);
    cleaner::CleanOptions mothballed;
    mothballed.mothballed = true;
    pruned = cleaner::CleanBytes(file, mothballed);
    if (pruned.halt == cleaner::Halt::kNone) CheckMothballed(file, pruned.pieces);

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
