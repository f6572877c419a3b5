#include "app/save_folder.h"

#include "platform/platform.h"
#include "runtime/files.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace app {

using runtime::OfInt32;
using runtime::OfText;
using runtime::OwnedText;

namespace {

// Where the game keeps its saves (so since its alpha 16), and the folder the program has
// always named, which the game does not read.
constexpr char kGameFolderSuffix[] = "AppData\\LocalLow\\Ludeon Studios\\RimWorld by Ludeon Studios\\Saves";
constexpr char kSaveFolderSuffix[] = "AppData\\LocalLow\\Ludeon Studios\\RimWorld\\Saves";
// The longest path the program keeps; the shell may write up to kMaxPath - 1 bytes.
constexpr int32_t kPathCapacity = 255;

}  // namespace

OwnedText SpecialFolderPath(int32_t folder) {
    // The shell writes up to MAX_PATH bytes whatever the buffer, so it gets that many; a
    // path longer than the program keeps counts as no path at all.
    OwnedText buffer(runtime::SpaceText({OfInt32(static_cast<int32_t>(platform::kMaxPath) - 1)}));
    platform::ItemIdList* list = nullptr;
    platform::slots.SHGetSpecialFolderLocation(nullptr, folder, &list);
    platform::slots.SHGetPathFromIDListA(list, buffer.get());
    if (runtime::CompareText(buffer.get(), "") == 0 || runtime::TextLength({OfText(buffer.get())}) > kPathCapacity)
        return OwnedText(const_cast<char*>(runtime::kEmptyText));
    OwnedText last(runtime::RightText({OfText(buffer.get()), OfInt32(1)}));
    if (runtime::CompareText(last.get(), "\\") != 0) buffer.reset(runtime::ConcatText({buffer.get(), "\\"}));
    return OwnedText(runtime::ConcatText({buffer.get()}));
}

OwnedText LocateSaveFolder() {
    OwnedText profile = SpecialFolderPath(platform::kCsidlProfile);
    if (runtime::CompareText(profile.get(), "") != 0) {
        OwnedText game(runtime::ConcatText({profile.get(), kGameFolderSuffix}));
        if (runtime::FileExists({OfText(game.get())})) return game;
    }
    return OwnedText(runtime::ConcatText({profile.get(), kSaveFolderSuffix}));
}

}  // namespace app
