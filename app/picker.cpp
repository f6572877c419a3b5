// The picker's request record, filled as the dialog expects it, and the call through the
// binding slot: msvfw32.dll is never linked, only bound when the picker first opens.
#include "app/picker.h"

#include "runtime/array.h"
#include "runtime/binder.h"
#include "runtime/format.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace app {

using runtime::OfByteSet;
using runtime::OfInt32;
using runtime::OfText;
using runtime::OwnedBytes;
using runtime::OwnedText;

namespace {

constexpr runtime::BindingNames kPreviewNames{"msvfw32.dll", "GetOpenFileNamePreview"};
using OpenFileNamePreview = runtime::Binding<kPreviewNames, int32_t, platform::OPENFILENAMEA*>;

constexpr auto kBar = runtime::MakeConstBytes("|");
constexpr runtime::ConstBytes<1> kNul{1, 1, {0}};
constexpr runtime::ConstBytes<2> kListEnd{1, 2, {0, 0}};
constexpr int32_t kFileBufferSize = 255;

// A copy the record may point at, or null for a null argument.
OwnedText CopyOrNull(runtime::ConstText text) {
    return OwnedText(text == nullptr ? nullptr : runtime::ConcatText({text}));
}

}  // namespace

OwnedBytes FilterList(runtime::ConstText filter) {
    OwnedBytes bytes(runtime::ToBytes({OfText(filter)}));
    OwnedBytes separated(
        runtime::ReplaceBytes({OfByteSet(bytes.get()), OfByteSet(kBar.get()), OfByteSet(kNul.get())}));
    return OwnedBytes(runtime::ConcatBytes({separated.get(), kListEnd.get()}));
}

OwnedText PickOpenFile(platform::WindowHandle owner, runtime::ConstText title, runtime::ConstText filter,
                       runtime::ConstText initial_folder) {
    OwnedBytes filter_list = FilterList(filter);
    OwnedBytes file(runtime::BlankBytes({OfInt32(kFileBufferSize)}));
    OwnedText folder = CopyOrNull(initial_folder);
    OwnedText title_copy = CopyOrNull(title);

    platform::OPENFILENAMEA request{};
    request.lStructSize = platform::kOpenFileNameSizeNt4;
    request.hwndOwner = owner;
    request.lpstrFilter = reinterpret_cast<const char*>(runtime::BytesData(filter_list.get()));
    request.lpstrFile = reinterpret_cast<char*>(runtime::BytesData(file.get()));
    request.nMaxFile = kFileBufferSize;
    request.lpstrInitialDir = folder.get();
    request.lpstrTitle = title_copy.get();
    request.Flags = platform::kOfnExplorer;

    if (OpenFileNamePreview::Call(&request) == 0) return OwnedText(const_cast<char*>(runtime::kEmptyText));
    return OwnedText(runtime::ToText({OfByteSet(file.get())}));
}

}  // namespace app
