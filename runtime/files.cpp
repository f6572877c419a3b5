// Files and message boxes: one platform call each, with fixed parameters.
#include "runtime/files.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
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
// Where the system copies file to file, pieces this long go so: a stretch read into a buffer
// costs its copy in, its copy out and the buffer's fresh pages, which outweigh a call.
constexpr size_t kCopied = 64u << 10;
constexpr int64_t kNear = 256 << 10;         // read at once for the gathered pieces near each other

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
    // A file whose size does not fit 31 bits is not read at all rather than read short.
    return high == 0 && size <= INT32_MAX;
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

// `size` bytes at `at` into `data`, the file's position set there first where `seek`.
bool ReadChunk(platform::FileHandle file, int64_t at, bool seek, uint8_t* data, uint32_t size) {
    return (!seek || platform::slots.SetFilePointerEx(file, at, nullptr, platform::kFileBegin)) && ReadAll(file, data, size);
}

}  // namespace

bool WriteFileBytes(ArgList args) {
    OpenFile file{platform::slots.CreateFileA(args[0].AsText(), platform::kGenericWrite, 0,
                                              platform::kCreateAlways,
                                              platform::kFileAttributeArchive)};
    return file.Valid() && WriteAllAndClose(file, args);
}

size_t save_chunk = 256u << 10;

bool SaveFile::Open(ArgList args, ReadFailure* why) {
    ReadFailure unused;
    ReadFailure& failure = why != nullptr ? *why : unused;
    OpenFile file{platform::InvalidFile()};
    uint32_t size = 0;
    bool refused = false;
    // Read sharing only, so that nobody writes the file while it is held; where another
    // program holds it open for writing, shared with that writer.
    bool whole = OpenWhole(args[0].AsText(), platform::kFileShareRead, file, size, failure, &refused);
    if (!whole && refused) whole = OpenWhole(args[0].AsText(), platform::kFileShareReadWrite, file, size, failure);
    // The stamp is taken before any byte is read, so a write in between shows.
    if (!whole || !platform::slots.GetFileStamp(file.handle, &stamp_)) return false;
    file_ = std::exchange(file.handle, platform::InvalidFile());
    size_ = size;
    failure = ReadFailure::kNone;
    return true;
}

// The read of the next chunk, one at a time: asked for by the caller of Next and done by a
// thread of its own (or by the caller, where no thread is to be had).
struct SaveFile::Ahead {
    std::mutex mutex;
    std::condition_variable changed;
    bool asked = false, ok = false, stop = false;
    int64_t at = 0;
    bool seek = false;
    uint8_t* into = nullptr;
    uint32_t n = 0;
    std::thread thread;

    void Run(platform::FileHandle file) {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return asked || stop; });
            if (stop) return;
            const int64_t from = at;
            const bool seeks = seek;
            uint8_t* const to = into;
            const uint32_t size = n;
            lock.unlock();
            const bool read = ReadChunk(file, from, seeks, to, size);
            lock.lock();
            asked = false, ok = read;
            changed.notify_all();
        }
    }
};

SaveFile::SaveFile() = default;

SaveFile::~SaveFile() {
    if (ahead_ != nullptr && ahead_->thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(ahead_->mutex);
            ahead_->stop = true;
        }
        ahead_->changed.notify_all();
        ahead_->thread.join();
    }
    if (file_ != nullptr) platform::slots.CloseHandle(file_);
}

platform::FileHandle SaveFile::handle() const {
    Settle();
    return file_;
}

void SaveFile::Settle() const {
    if (ahead_ == nullptr) return;
    std::unique_lock<std::mutex> lock(ahead_->mutex);
    ahead_->changed.wait(lock, [this] { return !ahead_->asked; });
}

void SaveFile::ReadNext(uint32_t n, bool meanwhile) {
    std::vector<uint8_t>& into = buffers_[current_ ^ 1];  // the chunk before the one handed out, if any
    if (into.size() < kLongestKeep + n) into.assign(kLongestKeep + save_chunk, 0);
    if (ahead_ == nullptr) ahead_ = std::make_unique<Ahead>();
    Ahead& a = *ahead_;
    if (meanwhile && !a.thread.joinable()) {
        try {
            a.thread = std::thread([this] { ahead_->Run(file_); });
        } catch (...) {
            meanwhile = false;  // no thread to be had: read at once, as before there was one
        }
    }
    std::unique_lock<std::mutex> lock(a.mutex);
    a.at = read_, a.seek = position_ != read_, a.into = into.data() + kLongestKeep, a.n = n;
    position_ = read_ + n;
    issued_ = true;
    if (meanwhile) {
        a.asked = true;
        lock.unlock();
        a.changed.notify_all();
        return;
    }
    lock.unlock();
    const bool read = ReadChunk(file_, a.at, a.seek, a.into, n);
    lock.lock();
    a.ok = read;
}

bool SaveFile::NextRead(uint32_t* n) {
    Ahead& a = *ahead_;
    std::unique_lock<std::mutex> lock(a.mutex);
    a.changed.wait(lock, [&a] { return !a.asked; });
    *n = a.n;
    issued_ = false;
    return a.ok;
}

bool SaveFile::Next(std::span<const uint8_t>* chunk, size_t keep) {
    keep = std::min({keep, filled_, kLongestKeep});
    // The chunk read meanwhile, or (the first, or after the file's end) now.
    if (!issued_) ReadNext(static_cast<uint32_t>(std::min<int64_t>(size_ - read_, static_cast<int64_t>(save_chunk))), false);
    uint32_t n = 0;
    if (!NextRead(&n)) return false;
    // It begins with the bytes kept from the one before.
    uint8_t* const into = buffers_[current_ ^ 1].data();
    if (keep > 0) std::memcpy(into + kLongestKeep - keep, buffers_[current_].data() + begin_ + filled_ - keep, keep);
    current_ ^= 1;
    begin_ = kLongestKeep - keep;
    filled_ = keep + n;
    read_ += n;
    *chunk = {buffers_[current_].data() + begin_, filled_};
    // The one after it, meanwhile.
    const int64_t left = size_ - read_;
    if (left > 0) ReadNext(static_cast<uint32_t>(std::min<int64_t>(left, static_cast<int64_t>(save_chunk))), true);
    return true;
}

bool SaveFile::ReadAt(int64_t offset, uint8_t* out, size_t n) {
    if (offset < 0 || offset > size_ || static_cast<int64_t>(n) > size_ - offset) return false;
    Settle();
    position_ = -1;
    if (!platform::slots.SetFilePointerEx(file_, offset, nullptr, platform::kFileBegin)) return false;
    for (size_t at = 0; at < n; at += kReadChunk) {
        if (!ReadAll(file_, out + at, static_cast<uint32_t>(std::min<size_t>(n - at, kReadChunk)))) return false;
    }
    position_ = offset + static_cast<int64_t>(n);
    return true;
}

bool SaveFile::Intact() const {
    Settle();
    platform::FileStamp now{};
    return file_ != nullptr && platform::slots.GetFileStamp(file_, &now) && now == stamp_;
}

namespace {

// The pieces in order, then the flush and the close; stops at the first write that fails
// or stores less, or the first stretch of the save that cannot be read.
class RangeWriter {
public:
    RangeWriter(OpenFile& file, SaveFile& save) : file_(file), save_(save) {}

    // The bytes are on the disk before the file is closed: a file system that writes data
    // late could otherwise keep a name given afterwards and lose the bytes in a power cut.
    bool WriteAndClose(std::span<const FilePiece> pieces) {
        for (const FilePiece& piece : pieces) {
            if (piece.length >= static_cast<int64_t>(copies_ && piece.bytes == nullptr ? kCopied : kGathered)) {
                WriteGathered();
                Copy(piece);
            } else {
                if (gathered_.size() + static_cast<size_t>(piece.length) > kGathered) WriteGathered();
                Gather(piece);
            }
        }
        WriteGathered();
        const bool stored = ok_ && Failing(platform::slots.FlushFileBuffers(file_.handle) != 0);
        return Failing(file_.Close()) && stored;
    }
    // The system's code for the first write, flush or close that failed, or 0.
    uint32_t error() const { return error_; }

private:
    void Gather(const FilePiece& piece) {
        if (gathered_.capacity() == 0) gathered_.reserve(kGathered);
        const size_t at = gathered_.size(), n = static_cast<size_t>(piece.length);
        if (piece.bytes != nullptr) {
            gathered_.insert(gathered_.end(), piece.bytes, piece.bytes + n);
        } else {
            gathered_.resize(at + n);
            ok_ = ok_ && ReadNear(piece.offset, gathered_.data() + at, n);
        }
    }
    // A short stretch of the save, from a window of it read 256 KiB at a time: an output of
    // many short pieces (the save less thousands of small items) costs one read for all the
    // pieces near each other, not one each.
    bool ReadNear(int64_t offset, uint8_t* out, size_t n) {
        const auto length = static_cast<int64_t>(n);
        if (length > kNear) return save_.ReadAt(offset, out, n);
        if (offset < near_at_ || offset + length > near_at_ + static_cast<int64_t>(near_.size())) {
            near_.resize(static_cast<size_t>(std::clamp(save_.size() - offset, length, kNear)));
            near_at_ = offset;
            if (!save_.ReadAt(offset, near_.data(), near_.size())) {
                near_.clear();
                return false;
            }
        }
        std::memcpy(out, near_.data() + (offset - near_at_), n);
        return true;
    }
    void WriteGathered() {
        Write(gathered_.data(), gathered_.size());
        gathered_.clear();
    }
    // A long stretch of the save: file to file in the system while it copies, the rest
    // through a buffer.
    void Copy(const FilePiece& piece) {
        if (piece.bytes != nullptr) return Write(piece.bytes, static_cast<size_t>(piece.length));
        for (int64_t at = piece.offset, left = piece.length; ok_ && left > 0;) {
            const auto most = static_cast<uint32_t>(std::min<int64_t>(left, kWriteChunk));
            uint32_t done = copies_ ? platform::CopyRange(save_.handle(), at, file_.handle, most) : 0;
            if (done == 0) {
                copies_ = false;
                done = static_cast<uint32_t>(std::min<int64_t>(left, static_cast<int64_t>(kGathered)));
                buffer_.resize(done);
                ok_ = save_.ReadAt(at, buffer_.data(), done);
                Write(buffer_.data(), done);
            }
            at += done;
            left -= done;
        }
    }
    void Write(const uint8_t* bytes, size_t size) {
        for (size_t at = 0; ok_ && at < size;) {
            const auto n = static_cast<uint32_t>(std::min<size_t>(size - at, kWriteChunk));
            uint32_t written = 0;
            // A write that stores fewer bytes than asked without failing has no code to tell.
            ok_ = Failing(platform::slots.WriteFile(file_.handle, bytes + at, n, &written) != 0) && written == n;
            at += n;
        }
    }
    // `ok`, the system's code kept where it is the first failure.
    bool Failing(bool ok) {
        if (!ok && error_ == 0) error_ = platform::slots.GetLastError();
        return ok;
    }

    OpenFile& file_;
    SaveFile& save_;
    std::vector<uint8_t> gathered_, buffer_, near_;
    int64_t near_at_ = 0;  // the save's offset of near_
    bool ok_ = true;
    bool copies_ = true;  // the system copies file to file, as far as is known
    uint32_t error_ = 0;
};

}  // namespace

NewFile WriteNewFileRanges(ConstText path, SaveFile& save, std::span<const FilePiece> pieces, uint32_t* error) {
    OpenFile file{platform::slots.CreateFileA(path, platform::kGenericWrite, 0, platform::kCreateNew,
                                              platform::kFileAttributeArchive | platform::kFileFlagOpenReparsePoint)};
    if (!file.Valid()) {
        const uint32_t code = platform::slots.GetLastError();
        if (NameTaken(code)) return NewFile::kNameTaken;
        if (error != nullptr) *error = code;
        return NewFile::kFailed;
    }
    RangeWriter writer(file, save);
    if (writer.WriteAndClose(pieces)) return NewFile::kWritten;
    if (error != nullptr) *error = writer.error();
    // The exclusive create makes it certain that the file at the path is this call's own.
    platform::slots.DeleteFileA(path);
    return NewFile::kFailed;
}

WriteFailure WriteFailureOf(uint32_t error) {
    switch (error) {
        case platform::kErrorDiskFull:
        case platform::kErrorHandleDiskFull: return WriteFailure::kDiskFull;
        case platform::kErrorAccessDenied:
        case platform::kErrorWriteProtect: return WriteFailure::kNoPermission;
        case platform::kErrorFilenameExcedRange: return WriteFailure::kNameTooLong;
        default: return WriteFailure::kOther;
    }
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
