// Reading and writing whole files, testing paths, and message boxes that show any value.
//
// The operations on a path take the tagged form; the pieces of a new file are given as they
// lie. Paths are GBK texts passed to the system unchanged.
#pragma once

#include <cstdint>
#include <span>

#include "platform/platform.h"
#include "runtime/value.h"

namespace runtime {

// Why a file was not read.
enum class ReadFailure {
    kNone,
    kMissing,     // nothing stands at the path, or a folder on the way is missing
    kUnreadable,  // it cannot be opened, is no disk file, is too big, or its read failed or came short
};
// A file's bytes where they lie: a read-only view of the file where the system makes one
// (on Windows nobody can then write or shorten the file until it is released), else the
// file read whole into a block. The file stays open until its bytes are released, and
// Intact() says whether they are still the file's.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept { Swap(other); }
    FileBytes& operator=(FileBytes&& other) noexcept {
        Swap(other);
        return *this;
    }
    ~FileBytes();

    bool opened() const { return opened_; }
    const uint8_t* data() const { return data_; }
    int32_t length() const { return length_; }
    // The bytes seen are still the file's: false once anything was written to the file or it
    // was shortened since it was opened (its stamp changed, or a page of its view was lost).
    bool Intact() const;

private:
    friend FileBytes ViewFileBytes(ArgList args, ReadFailure* why);
    void Swap(FileBytes& other) noexcept;

    void* file_ = nullptr;  // the open file, while the bytes are held
    platform::FileStamp stamp_{};  // the file's stamp when it was opened
    const void* view_ = nullptr;
    ByteSet block_ = nullptr;
    const uint8_t* data_ = nullptr;
    int32_t length_ = 0;
    bool opened_ = false;
};
// path -> the whole file's bytes (none for an empty file), opened() false when the file
// cannot be opened or seen whole (`*why` says why: a disk file under 2 GiB, read in full). A
// file another program holds open for writing, or one the system cannot view, is read whole
// instead.
FileBytes ViewFileBytes(ArgList args, ReadFailure* why = nullptr);

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
// Creates the file only where nothing stands at the path (a link, even one whose target is
// missing, is never followed), writes the pieces in order, each from where it lies (short
// pieces gathered into one write, long ones written as they stand, 16 MiB a call at most),
// and has the system put them on the disk before the file is closed.
NewFile WriteNewFilePieces(ConstText path, std::span<const std::span<const uint8_t>> pieces);
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
