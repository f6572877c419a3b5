// Reading and writing whole files, testing paths, and message boxes that show any value.
//
// The operations on a path take the tagged form; the pieces of a new file are given as they
// lie. Paths are GBK texts passed to the system unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/platform.h"
#include "runtime/value.h"

namespace runtime {

// Why a file was not read.
enum class ReadFailure {
    kNone,
    kMissing,     // nothing stands at the path, or a folder on the way is missing
    kUnreadable,  // it cannot be opened, is no disk file, is too big, or its read failed or came short
};
// A save open for reading until it is released: read front to back in chunks, and short
// stretches again by offset. While a chunk is handed out, the next is read into a second
// buffer by a thread of the file's own, so that the system's copy of the file's bytes goes on
// beside the caller's work; nothing else reads the file meanwhile. It is opened with read
// sharing only, so that nobody writes it meanwhile on Windows; where another program holds it
// open for writing, shared with that writer. Intact() says whether it is still the file that
// was opened, unchanged.
class SaveFile {
public:
    SaveFile();
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;
    ~SaveFile();

    // path -> false when the file cannot be opened or is no disk file under 2 GiB (`*why`
    // says why).
    bool Open(ArgList args, ReadFailure* why = nullptr);

    int64_t size() const { return size_; }
    platform::FileHandle handle() const;
    // The next chunk of the file, empty at its end; false when the read failed or the file
    // ended before its size. With `keep`, the chunk begins with the last `keep` bytes of the
    // one before (at most kLongestKeep), then what follows them: none at the end.
    static constexpr size_t kLongestKeep = 4096;
    bool Next(std::span<const uint8_t>* chunk, size_t keep = 0);
    // The `n` bytes at `offset` into `out`; false when they cannot all be read.
    bool ReadAt(int64_t offset, uint8_t* out, size_t n);
    // False once anything was written to the file or it was shortened since it was opened.
    bool Intact() const;

private:
    struct Ahead;  // the thread that reads the next chunk, and what it was asked
    // The next chunk's `n` bytes into the other buffer, after the room for kept bytes: read
    // meanwhile, or at once.
    void ReadNext(uint32_t n, bool meanwhile);
    bool NextRead(uint32_t* n);  // waits for it; false where it failed
    void Settle() const;         // waits for a read meanwhile

    void* file_ = nullptr;
    platform::FileStamp stamp_{};
    int64_t size_ = 0, read_ = 0, position_ = 0;
    std::vector<uint8_t> buffers_[2];
    int current_ = 0;     // the buffer of the chunk handed out
    size_t begin_ = 0;    // where that chunk begins in it
    size_t filled_ = 0;   // its bytes
    bool issued_ = false;  // the next chunk's read was asked for
    std::unique_ptr<Ahead> ahead_;
};
// How many bytes a chunk holds: small enough for the processor's cache (tests set others).
extern size_t save_chunk;

// path, byte sets... -> true when the file was created (or emptied) and every byte set
// written in full and the file closed. The first failed or short write stops the rest; the
// file then keeps what was written.
bool WriteFileBytes(ArgList args);

enum class NewFile {
    kWritten,    // created, written in full and put on the disk (or, for a move, given the name)
    kNameTaken,  // something already stood at the path; it was not touched
    kFailed,     // not created, or not written in full (the file created is removed again)
    kRefused,    // a move only: the file system makes neither a second name nor a move
                 // that replaces nothing; the file keeps its old name
};
// A piece of a new file: `length` bytes of the save from `offset`, or a constant's bytes.
struct FilePiece {
    int64_t offset;
    int64_t length;
    const uint8_t* bytes;  // the constant, or null for a stretch of the save
};
// Creates the file only where nothing stands at the path (a link, even one whose target is
// missing, is never followed), writes the pieces in order, and has the system put them on
// the disk before the file is closed. Stretches of the save go file to file in the system
// where it can (Linux), else through a buffer; short pieces are gathered into one write.
// A stretch that cannot be read from the save fails the write. Where it fails, `*error` (if
// given) gets the system's code for the create, write, flush or close that failed (0 where
// none did: a stretch of the save could not be read).
NewFile WriteNewFileRanges(ConstText path, SaveFile& save, std::span<const FilePiece> pieces, uint32_t* error = nullptr);
// Why a new file could not be written, from the system's code for it.
enum class WriteFailure { kOther, kDiskFull, kNoPermission, kNameTooLong };
WriteFailure WriteFailureOf(uint32_t error);
// old path, new path -> gives the file the new name only where nothing stands there; a
// taken name leaves the file under its old one.
NewFile MoveToNewName(ArgList args);
// path -> true when the names of the folder holding it are on the disk.
bool FlushFolderOf(ArgList args);
// path -> true when the file was removed.
bool RemoveFile(ArgList args);
// path -> true when anything stands at the path: a file, a folder, or a link (even one
// whose target is missing).
bool FileExists(ArgList args);
// message (any kind), [style], [title], [owner window, Int32 only] -> button chosen minus 1.
int32_t ShowMessage(ArgList args);

}  // namespace runtime
