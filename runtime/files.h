// Reading and writing whole files, testing paths, and message boxes that show any value.
//
// All four take the tagged form. Paths are GBK texts passed to the system unchanged.
#pragma once

#include "runtime/value.h"

namespace runtime {

// path -> new ByteSet of the whole file (length 0 for an empty file), or null when the
// file cannot be opened or read whole.
ByteSet ReadFileBytes(ArgList args);
// path, byte sets... -> true when the file was created and every byte set written. The
// first failed write stops the rest; the file then keeps what was written.
bool WriteFileBytes(ArgList args);
// path -> true for an existing file or folder.
bool FileExists(ArgList args);
// path -> true when the file was deleted.
bool RemoveFile(ArgList args);
// message (any kind), [style], [title], [owner window, Int32 only] -> button chosen minus 1.
int32_t ShowMessage(ArgList args);

}  // namespace runtime
