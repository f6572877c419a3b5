// Reading and writing whole files, testing paths, and message boxes that show any value.
//
// All four take the tagged form. Paths are GBK texts passed to the system unchanged.
#pragma once

#include "runtime/value.h"

namespace runtime {

// Why a file was not read.
enum class ReadFailure {
    kNone,
    kMissing,     // nothing stands at the path, or a folder on the way is missing
    kUnreadable,  // it cannot be opened, is no disk file, is too big, or its read failed or came short
};
// path -> new ByteSet of the whole file (length 0 for an empty file), or null when the
// file cannot be opened or read whole; `*why` (when given) says which.
ByteSet ReadFileBytes(ArgList args, ReadFailure* why = nullptr);
// path, byte sets... -> true when the file was created (or emptied) and every byte set
// written in full and the file closed. The first failed or short write stops the rest; the
// file then keeps what was written.
bool WriteFileBytes(ArgList args);

enum class NewFile {
    kWritten,    // created and written in full (or, for a move, given the name)
    kNameTaken,  // something already stood at the path; it was not touched
    kFailed,     // not created, or not written in full (the file created is removed again)
};
// path, byte sets... -> creates the file only where nothing stands at the path (a link,
// even one whose target is missing, is never followed) and writes the byte sets in order.
NewFile WriteNewFileBytes(ArgList args);
// old path, new path -> gives the file the new name only where nothing stands there; a
// taken name leaves the file under its old one.
NewFile MoveToNewName(ArgList args);
// path -> true when the file was removed.
bool RemoveFile(ArgList args);
// path -> true when anything stands at the path: a file, a folder, or a link (even one
// whose target is missing).
bool FileExists(ArgList args);
// message (any kind), [style], [title], [owner window, Int32 only] -> button chosen minus 1.
int32_t ShowMessage(ArgList args);

}  // namespace runtime
