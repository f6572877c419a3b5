// Files and message boxes: one platform call each, with fixed parameters.
#include "runtime/files.h"

#include "platform/platform.h"
#include "runtime/format.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace runtime {

namespace {

const char kDefaultCaption[] = "信息";

struct OpenFile {
    platform::FileHandle handle;
    ~OpenFile() {
        if (handle != platform::InvalidFile()) platform::slots.CloseHandle(handle);
    }
};

}  // namespace

ByteSet ReadFileBytes(ArgList args) {
    OpenFile file{platform::slots.CreateFileA(args[0].AsText(), platform::kGenericRead,
                                              platform::kFileShareReadWrite, platform::kOpenExisting,
                                              platform::kFileAttributeArchive)};
    if (file.handle == platform::InvalidFile()) return nullptr;
    uint32_t high = 0;
    uint32_t size = platform::slots.GetFileSize(file.handle, &high);
    // A file whose size does not fit the block's 32-bit length (or leaves no room for the
    // header) cannot be held whole: it is not read at all rather than read short.
    if (high != 0 || size > INT32_MAX - 8) return nullptr;
    auto block = static_cast<ByteSet>(AllocateMemory(size + 8));
    block->dimension_count = 1;
    block->length = static_cast<int32_t>(size);
    uint32_t read = 0;
    int ok = platform::slots.ReadFile(file.handle, BytesData(block), size, &read);
    if (!ok || read != size) {
        // Zeros posing as the file's tail would be written out as if they were the save.
        FreeMemory(block);
        return nullptr;
    }
    return block;
}

bool WriteFileBytes(ArgList args) {
    OpenFile file{platform::slots.CreateFileA(args[0].AsText(), platform::kGenericWrite, 0,
                                              platform::kCreateAlways,
                                              platform::kFileAttributeArchive)};
    if (file.handle == platform::InvalidFile()) return false;
    for (int i = 1; i < args.count; ++i) {
        ConstByteSet data = args[i].AsByteSet();
        int32_t n = BytesLengthOf(data);
        if (n <= 0) continue;
        uint32_t written = 0;
        if (!platform::slots.WriteFile(file.handle, BytesData(data), static_cast<uint32_t>(n),
                                       &written))
            return false;
    }
    return true;
}

bool FileExists(ArgList args) { return platform::slots.PathFileExistsA(args[0].AsText()) != 0; }

bool RemoveFile(ArgList args) { return platform::slots.DeleteFileA(args[0].AsText()) != 0; }

int32_t ShowMessage(ArgList args) {
    TaggedValue message = args[0];
    ConstText text = nullptr;
    Text formatted = nullptr;
    if (message.Is(ValueKind::Text)) {
        text = message.AsText();
    } else if (!(message.type & kArrayFlag) && !message.Is(ValueKind::ByteSet)) {
        formatted = FormatScalar(message);  // numbers, booleans and dates; null for the rest
        text = formatted;
    }
    uint32_t style = args[1].Present() ? args[1].value : 0;
    ConstText caption = args[2].Present() ? args[2].AsText() : kDefaultCaption;
    platform::WindowHandle owner = nullptr;
    if (args.count >= 4 && args[3].Is(ValueKind::Int32)) owner = args[3].AsPointer();
    int result = platform::slots.MessageBoxA(owner, text, caption, style);
    FreeMemory(formatted);
    return result - 1;
}

}  // namespace runtime
