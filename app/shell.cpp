#include "app/shell.h"

#include "app/arguments.h"
#include "app/picker.h"
#include "app/save_folder.h"
#include "cleaner/clean.h"
#include "runtime/host.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace app {

platform::ModuleHandle AppInstance = nullptr;
platform::IconHandle AppIcon = nullptr;
std::atomic<platform::WindowHandle> MainDialogHandle{nullptr};
runtime::Text SelectedSavePath = nullptr;
cleaner::CleanOptions RunOptions;

void ReleaseShellGlobals() {
    if (SelectedSavePath != nullptr) runtime::FreeMemory(SelectedSavePath);
    SelectedSavePath = nullptr;
}

void StartProgram() {
    runtime::RegisterExitCleanup(ReleaseShellGlobals);
    // Saves given on the command line are cleaned without the dialog; with none, the
    // program asks for one as it always has.
    auto rest = reinterpret_cast<const char*>(runtime::SystemService(kCommandLineService, 0, 0));
    ReadSettings(RunOptions);
    int status = CleanArguments(SplitArguments(rest), RunOptions);
    if (status != kShowPicker) runtime::EndProgram(status);
    RunMainDialog();  // returns only when the dialog cannot be created
    runtime::EndProgram(0);
}

intptr_t RunMainDialog() {
    AppInstance = platform::slots.GetModuleHandleA(nullptr);
    AppIcon = platform::slots.LoadIconA(AppInstance, platform::IntResource(kAppIconResource));
    platform::slots.DialogBoxParamA(AppInstance, platform::IntResource(kMainDialogTemplate), nullptr,
                                    MainDialogProc, 0);
    return 0;
}

// Without SWP_NOACTIVATE every call would activate the hidden carrier and take the keyboard
// from the picker and the boxes; the pause keeps the loop off the processor.
void TopmostKeeper(void*) {
    for (;;) {
        platform::slots.SetWindowPos(MainDialogHandle.load(std::memory_order_relaxed), platform::HwndTopmost(),
                                     0, 0, 0, 0,
                                     platform::kSwpNoSize | platform::kSwpNoMove | platform::kSwpNoActivate);
        platform::slots.Sleep(kKeeperPauseMs);
    }
}

intptr_t PLATFORM_CALLBACK MainDialogProc(platform::WindowHandle window, uint32_t message, uintptr_t, intptr_t) {
    MainDialogHandle.store(window, std::memory_order_relaxed);
    if (message != platform::kWmInitDialog) return 0;

    auto icon = reinterpret_cast<intptr_t>(AppIcon);
    platform::slots.SendMessageA(window, platform::kWmSetIcon, platform::kIconSmall, icon);
    platform::slots.SendMessageA(window, platform::kWmSetIcon, platform::kIconBig, icon);
    runtime::StartThread(TopmostKeeper);

    runtime::OwnedText chosen = PickOpenFile(window, "选择-需要清理的存档", kSaveFilter, LocateSaveFolder().get());
    ReleaseShellGlobals();
    SelectedSavePath = chosen.release();

    if (runtime::CompareText(SelectedSavePath, "") == 0) runtime::EndProgram(0);
    if (RunOptions.report) ReportSave(SelectedSavePath);
    else TellLeftBehind(cleaner::CleanSave(SelectedSavePath, RunOptions));  // error code 01 ends here too, after its box
    runtime::EndProgram(0);
}

}  // namespace app
