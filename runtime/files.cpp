// Files and message boxes: one platform call each, with fixed parameters.
#include "runtime/files.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "runtime/format.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace runtime {

namespace {

const char kDefaultCaption[] = "信息";

// What the system says when a create or a move found the name taken.
bool NameTaken(uint32_t error) { return error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists; }
constexpr uint32_t kReadChunk = 16u << 20;  // one read call at most, on every system
constexpr uint32_t kWriteChunk = 16u << 20;  // one write call at most
constexpr size_t kGathered = 1u << 20;       // pieces shorter than this are gathered

struct OpenFile {
    platform::FileHandle handle;

    bool Valid() const { return handle != platform::InvalidFile(); }
    // True when the system took the close: a written file may report its last failure here.
    bool Close() {
        platform::FileHandle h = handle;
        handle = platform::InvalidFile();
        return platform::slots.CloseHandle(h) != 0;
    }
    ~OpenFile() {
        if (Valid()) platform::slots.CloseHandle(handle);
    }
};

// Writes the byte sets args[1...] in order and closes the file. False at the first write
// that fails or stores fewer bytes than asked (the rest are not written), or when the
// close fails.
bool WriteAllAndClose(OpenFile& file, ArgList args) {
    bool ok = true;
    for (int i = 1; ok && i < args.count; ++i) {
        ConstByteSet data = args[i].AsByteSet();
        int32_t n = BytesLengthOf(data);
        if (n <= 0) continue;
        uint32_t written = 0;
        ok = platform::slots.WriteFile(file.handle, BytesData(data), static_cast<uint32_t>(n), &written) != 0 &&
             written == static_cast<uint32_t>(n);
    }
    return file.Close() && ok;
}

// The pieces in order, then the close; stops at the first write that fails or stores less.
class PieceWriter {
public:
    explicit PieceWriter(OpenFile& file) : file_(file) {}

    // The bytes are on the disk before the file is closed: a file system that writes data
    // late could otherwise keep a name given afterwards and lose the bytes in a power cut.
    bool WriteAndClose(std::span<const std::span<const uint8_t>> pieces) {
        for (std::span<const uint8_t> piece : pieces) {
            if (piece.size() >= kGathered) {
                WriteGathered();
                Write(piece);
            } else {
                if (gathered_.size() + piece.size() > kGathered) WriteGathered();
                if (gathered_.capacity() == 0) gathered_.reserve(kGathered);
                gathered_.insert(gathered_.end(), piece.begin(), piece.end());
            }
        }
        WriteGathered();
        const bool stored = ok_ && platform::slots.FlushFileBuffers(file_.handle) != 0;
        return file_.Close() && stored;
    }

private:
    void WriteGathered() {
        Write(gathered_);
        gathered_.clear();
    }
    void Write(std::span<const uint8_t> bytes) {
        for (size_t at = 0; ok_ && at < bytes.size();) {
            const auto n = static_cast<uint32_t>(std::min<size_t>(bytes.size() - at, kWriteChunk));
            uint32_t written = 0;
            ok_ = platform::slots.WriteFile(file_.handle, bytes.data() + at, n, &written) != 0 && written == n;
            at += n;
        }
    }

    OpenFile& file_;
    std::vector<uint8_t> gathered_;
    bool ok_ = true;
};

// Opens the file at `path` for reading with the share mode given and takes its size: true
// for a disk file that can be held whole. Otherwise `failure` says why, and `*refused`
// whether another handle's share mode refused the open.
bool OpenWhole(ConstText path, uint32_t share, OpenFile& file, uint32_t& size, ReadFailure& failure,
               bool* refused = nullptr) {
    failure = ReadFailure::kUnreadable;
    file.handle = platform::slots.CreateFileA(path, platform::kGenericRead, share, platform::kOpenExisting,
                                              platform::kFileAttributeArchive);
    if (!file.Valid()) {
        uint32_t error = platform::slots.GetLastError();
        if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) failure = ReadFailure::kMissing;
        if (refused != nullptr) *refused = error == platform::kErrorSharingViolation;
        return false;
    }
    // A pipe or a device is no save, and a read from it need not end.
    if (platform::slots.GetFileType(file.handle) != platform::kFileTypeDisk) return false;
    uint32_t high = 0;
    size = platform::slots.GetFileSize(file.handle, &high);
    // A file whose size does not fit the block's 32-bit length (or leaves no room for the
    // header) cannot be held whole: it is not read at all rather than read short.
    return high == 0 && size <= INT32_MAX - 8;
}

// `size` bytes into `data`, in reads of at most kReadChunk: a read that stores less goes on
// from there, one that stores nothing (the end of the file came first) or fails ends it.
bool ReadAll(platform::FileHandle file, uint8_t* data, uint32_t size) {
    while (size > 0) {
        uint32_t read = 0;
        if (!platform::slots.ReadFile(file, data, size < kReadChunk ? size : kReadChunk, &read) || read == 0) return false;
        data += read;
        size -= read;
    }
    return true;
}

// The `size` bytes of an open file in a new ByteSet, or null when they cannot all be read.
ByteSet ReadBlock(platform::FileHandle file, uint32_t size) {
    auto block = static_cast<ByteSet>(AllocateMemory(size + 8));
    block->dimension_count = 1;
    block->length = static_cast<int32_t>(size);
    if (!ReadAll(file, BytesData(block), size)) {
        // Zeros posing as the file's tail would be written out as if they were the save.
        FreeMemory(block);
        return nullptr;
    }
    return block;
}

// A view of the whole file, or null where the system makes none.
const void* ViewWhole(platform::FileHandle file, uint32_t size) {
    platform::FileHandle mapping = platform::slots.CreateFileMappingA(file, platform::kPageReadonly, 0, 0);
    if (mapping == nullptr) return nullptr;
    const void* view = platform::slots.MapViewOfFile(mapping, platform::kFileMapRead, 0, 0, size);
    platform::slots.CloseHandle(mapping);
    return view;
}

}  // namespace

bool WriteFileBytes(ArgList args) {
    OpenFile file{platform::slots.CreateFileA(args[0].AsText(), platform::kGenericWrite, 0,
                                              platform::kCreateAlways,
                                              platform::kFileAttributeArchive)};
    return file.Valid() && WriteAllAndClose(file, args);
}

FileBytes ViewFileBytes(ArgList args, ReadFailure* why) {
    ReadFailure unused;
    ReadFailure& failure = why != nullptr ? *why : unused;
    FileBytes bytes;
    OpenFile file{platform::InvalidFile()};
    uint32_t size = 0;
    bool refused = false;
    // Read sharing only, so that nobody writes the file while it is held; where another
    // program holds it open for writing, shared with that writer and read whole.
    bool whole = OpenWhole(args[0].AsText(), platform::kFileShareRead, file, size, failure, &refused);
    if (!whole && refused) whole = OpenWhole(args[0].AsText(), platform::kFileShareReadWrite, file, size, failure);
    // The stamp is taken before any byte is read, so a write in between shows.
    if (!whole || !platform::slots.GetFileStamp(file.handle, &bytes.stamp_)) return bytes;
    if (size > 0 && !refused) bytes.view_ = ViewWhole(file.handle, size);
    if (bytes.view_ != nullptr) {
        bytes.data_ = static_cast<const uint8_t*>(bytes.view_);
    } else if (size > 0) {
        bytes.block_ = ReadBlock(file.handle, size);
        if (bytes.block_ == nullptr) return bytes;
        bytes.data_ = BytesData(bytes.block_);
    }
    bytes.length_ = static_cast<int32_t>(size);
    bytes.file_ = std::exchange(file.handle, platform::InvalidFile());
    bytes.opened_ = true;
    failure = ReadFailure::kNone;
    return bytes;
}

FileBytes::~FileBytes() {
    if (view_ != nullptr) platform::slots.UnmapViewOfFile(view_);
    if (opened_) platform::slots.CloseHandle(file_);
    FreeMemory(block_);
}

void FileBytes::Swap(FileBytes& other) noexcept {
    std::swap(file_, other.file_);
    std::swap(stamp_, other.stamp_);
    std::swap(view_, other.view_);
    std::swap(block_, other.block_);
    std::swap(data_, other.data_);
    std::swap(length_, other.length_);
    std::swap(opened_, other.opened_);
}

bool FileBytes::Intact() const {
    if (!opened_) return true;
    platform::FileStamp now{};
    return platform::ViewIntact(view_) && platform::slots.GetFileStamp(file_, &now) && now == stamp_;
}

NewFile WriteNewFilePieces(ConstText path, std::span<const std::span<const uint8_t>> pieces) {
    OpenFile file{platform::slots.CreateFileA(path, platform::kGenericWrite, 0, platform::kCreateNew,
                                              platform::kFileAttributeArchive | platform::kFileFlagOpenReparsePoint)};
    if (!file.Valid()) {
        return NameTaken(platform::slots.GetLastError()) ? NewFile::kNameTaken : NewFile::kFailed;
    }
    if (PieceWriter(file).WriteAndClose(pieces)) return NewFile::kWritten;
    // The exclusive create makes it certain that the file at the path is this call's own.
    platform::slots.DeleteFileA(path);
    return NewFile::kFailed;
}

// A second name made exclusively, then the first removed: the one way both systems (and
// Wine, whose move does not see a link whose target is missing) refuse every taken name.
// Where the file system keeps no second names, a move that replaces nothing.
NewFile MoveToNewName(ArgList args) {
    ConstText from = args[0].AsText(), to = args[1].AsText();
    if (platform::slots.CreateHardLinkA(to, from)) {
        platform::slots.DeleteFileA(from);
        return NewFile::kWritten;
    }
    if (NameTaken(platform::slots.GetLastError())) return NewFile::kNameTaken;
    if (platform::slots.MoveFileExA(from, to, 0)) return NewFile::kWritten;
    return NameTaken(platform::slots.GetLastError()) ? NewFile::kNameTaken : NewFile::kRefused;
}

bool FlushFolderOf(ArgList args) { return platform::slots.FlushFolderOf(args[0].AsText()) != 0; }

bool RemoveFile(ArgList args) { return platform::slots.DeleteFileA(args[0].AsText()) != 0; }

bool FileExists(ArgList args) { return platform::slots.PathFileExistsA(args[0].AsText()) != 0; }

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
