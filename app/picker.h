// The save-file picker: the platform's open-file dialog with a preview pane, bound on first
// use.
#pragma once

#include "platform/platform.h"
#include "runtime/memory.h"
#include "runtime/value.h"

namespace app {

// The filter in the dialog's list form: each "|" of `filter` becomes a NUL, and two NULs end
// the list ("*.rws" -> "*.rws" NUL NUL; "" -> NUL NUL).
runtime::OwnedBytes FilterList(runtime::ConstText filter);

// The path chosen (up to 254 bytes), or the empty text on cancel or failure.
runtime::OwnedText PickOpenFile(platform::WindowHandle owner, runtime::ConstText title, runtime::ConstText filter,
                           runtime::ConstText initial_folder);

}  // namespace app
