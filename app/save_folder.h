// Where the game keeps its saves: the user's profile folder and the game's fixed path.
#pragma once

#include "runtime/memory.h"
#include "runtime/value.h"

namespace app {

// The special folder's path with exactly one trailing backslash, or the empty text.
runtime::OwnedText SpecialFolderPath(int32_t folder);

// The game's save folder under the profile folder, "AppData\LocalLow\Ludeon Studios\RimWorld
// by Ludeon Studios\Saves", where it exists; else the profile folder followed by
// "AppData\LocalLow\Ludeon Studios\RimWorld\Saves" (the bare suffix when the profile has no
// path), which is not required to exist.
runtime::OwnedText LocateSaveFolder();

}  // namespace app
