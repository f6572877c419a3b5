// The life of the process: the hidden, top-most carrier dialog does all the work while it
// handles its initialisation message, and every path ends the process from there.
#pragma once

#include <atomic>
#include <cstdint>

#include "cleaner/prune.h"
#include "platform/platform.h"
#include "runtime/value.h"

namespace app {

extern platform::ModuleHandle AppInstance;
extern platform::IconHandle AppIcon;
// Written by the dialog thread on every call of the dialog procedure, read by the keeper.
extern std::atomic<platform::WindowHandle> MainDialogHandle;
// The path chosen in the picker, or the empty text; released at exit.
extern runtime::Text SelectedSavePath;
// What the command line asked of the cleaning, for the picked save too.
extern cleaner::CleanOptions RunOptions;

constexpr uint16_t kMainDialogTemplate = 1000;
constexpr uint16_t kAppIconResource = 129;
constexpr uint32_t kKeeperPauseMs = 100;
constexpr int32_t kCommandLineService = 2002;  // the host's service: the line after the name
// The picker's filter: a description and its pattern ("*.rws" alone is a description with no
// pattern, and the dialog lists every file).
constexpr char kSaveFilter[] = "*.rws|*.rws";

// Registers the exit clean-up; cleans the saves given on the command line, or runs the
// dialog when there are none; ends the process.
[[noreturn]] void StartProgram();
intptr_t RunMainDialog();
intptr_t PLATFORM_CALLBACK MainDialogProc(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                                          intptr_t lparam);
// Keeps the carrier dialog in the top-most band for as long as the process lives.
[[noreturn]] void TopmostKeeper(void* unused);
void ReleaseShellGlobals();

}  // namespace app
