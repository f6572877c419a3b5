// The one interface between Sorrel and the operating system.
//
// Everything above this folder reaches the system only through the functions and slots
// declared here. platform/win32 implements them with the Windows calls the program is
// specified against; platform/posix is the stand-in that lets the same program build and
// run on Linux.
//
// System calls go through `slots`, a table of typed function pointers (the SQLite habit),
// so a test can swap one entry to make an allocation fail or to capture a message box.
#pragma once

#include <cstddef>
#include <cstdint>

// The calling convention of callbacks the system calls (dialog procedures) and of the
// system's own functions on the 32-bit product.
#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_CALLBACK __attribute__((stdcall))
#else
#define PLATFORM_CALLBACK
#endif

namespace platform {

using HeapHandle = void*;
using WindowHandle = void*;
using FileHandle = void*;
using ModuleHandle = void*;
using IconHandle = void*;
using ItemIdList = void;  // the shell's item-identifier list, never looked into

// The standard dialog-procedure signature.
using DialogProc = intptr_t(PLATFORM_CALLBACK*)(WindowHandle window, uint32_t message,
                                                uintptr_t wparam, intptr_t lparam);

// A resource named by its number, as MAKEINTRESOURCE names it.
inline const char* IntResource(uint16_t id) { return reinterpret_cast<const char*>(uintptr_t{id}); }

// The Linux program is a console program: it takes options (--help, --version) besides
// saves, and writes to its standard streams. The Windows program, a desktop program, takes
// saves only and writes nowhere but its boxes.
#if defined(_WIN32)
constexpr bool kConsoleProgram = false;
#else
constexpr bool kConsoleProgram = true;
#endif
constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

// Window messages, their values, and SetWindowPos's.
constexpr uint32_t kWmSetIcon = 0x0080;
constexpr uint32_t kWmInitDialog = 0x0110;
constexpr uintptr_t kIconSmall = 0;
constexpr uintptr_t kIconBig = 1;
inline WindowHandle HwndTopmost() { return reinterpret_cast<WindowHandle>(intptr_t{-1}); }
constexpr uint32_t kSwpNoSize = 0x0001;
constexpr uint32_t kSwpNoMove = 0x0002;
constexpr uint32_t kSwpNoActivate = 0x0010;

// The shell's special folders.
constexpr int kCsidlProfile = 0x0028;
constexpr size_t kMaxPath = 260;

// The open-file request, laid out as the platform's OPENFILENAMEA, member for member.
struct OPENFILENAMEA {
    uint32_t lStructSize;
    WindowHandle hwndOwner;
    ModuleHandle hInstance;
    const char* lpstrFilter;
    char* lpstrCustomFilter;
    uint32_t nMaxCustFilter;
    uint32_t nFilterIndex;
    char* lpstrFile;
    uint32_t nMaxFile;
    char* lpstrFileTitle;
    uint32_t nMaxFileTitle;
    const char* lpstrInitialDir;
    const char* lpstrTitle;
    uint32_t Flags;
    uint16_t nFileOffset;
    uint16_t nFileExtension;
    const char* lpstrDefExt;
    intptr_t lCustData;
    void* lpfnHook;
    const char* lpTemplateName;
    void* pvReserved;
    uint32_t dwReserved;
    uint32_t FlagsEx;
};
// The request without its three last members (76 bytes on the 32-bit product).
constexpr uint32_t kOpenFileNameSizeNt4 = offsetof(OPENFILENAMEA, pvReserved);
constexpr uint32_t kOfnExplorer = 0x00080000;

// What CreateFileA gives when the file cannot be opened or created.
inline FileHandle InvalidFile() { return reinterpret_cast<FileHandle>(~uintptr_t{0}); }

// CreateFileA parameters.
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kFileShareRead = 1;       // others may read, none may write or shorten
constexpr uint32_t kFileShareReadWrite = 3;  // FILE_SHARE_READ | FILE_SHARE_WRITE
constexpr uint32_t kCreateNew = 1;  // fails when anything stands at the name
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kFileAttributeArchive = 0x20;
// With kCreateNew: a link at the name is the name's own entry, never followed.
constexpr uint32_t kFileFlagOpenReparsePoint = 0x00200000;

// GetLastError's answer when a kCreateNew found the name taken.
constexpr uint32_t kErrorFileExists = 80;
// GetLastError's answer when a move found the new name taken.
constexpr uint32_t kErrorAlreadyExists = 183;
// GetLastError's answers when an open found nothing at the path, or a folder on it missing.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
// GetLastError's answers when a write found no room, no permission, or a name too long.
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorFilenameExcedRange = 206;
// GetLastError's answer when another handle's share mode refuses an open.
constexpr uint32_t kErrorSharingViolation = 32;
// SetFilePointerEx's origin: the start of the file.
constexpr uint32_t kFileBegin = 0;
// GetFileType's answer for a file on a disk (not a pipe, a device or a console).
constexpr uint32_t kFileTypeDisk = 1;

// What tells whether an open file is still the file it was, unchanged: on Windows its size
// and last-write time; on Linux also which file it is (device and inode) and its change
// time, both times to the nanosecond. Stamps of one file taken at two moments differ when
// anything was written to it between, unless the writer kept the size and set the times
// back.
struct FileStamp {
    uint64_t words[5];
    bool operator==(const FileStamp&) const = default;
};

// A critical section's storage, big enough for the platform's own record.
struct CriticalSection {
    alignas(8) unsigned char storage[64];
};

// Thread routines take one pointer-sized parameter.
using ThreadRoutine = void (*)(void* parameter);

// Flag of HeapAlloc: the block comes back cleared.
constexpr uint32_t kHeapZeroMemory = 0x00000008;
// Message-box style: the error icon with the single OK button.
constexpr uint32_t kMbIconError = 0x00000010;

struct Slots {
    HeapHandle (*GetProcessHeap)();
    void* (*HeapAlloc)(HeapHandle heap, uint32_t flags, size_t size);
    void* (*HeapReAlloc)(HeapHandle heap, uint32_t flags, void* block, size_t size);
    int (*HeapFree)(HeapHandle heap, uint32_t flags, void* block);
    // Non-zero when `size` bytes at `address` cannot be read; the stand-in probes too.
    int (*IsBadReadPtr)(const void* address, size_t size);
    // Returns the button identifier, 0 when no box could be shown. Texts are GBK.
    int (*MessageBoxA)(WindowHandle owner, const char* text, const char* caption,
                       uint32_t style);

    // Files. Paths are GBK. No security attributes and no template are ever passed.
    FileHandle (*CreateFileA)(const char* path, uint32_t access, uint32_t share,
                              uint32_t creation, uint32_t attributes);
    uint32_t (*GetFileSize)(FileHandle file, uint32_t* high);
    int (*ReadFile)(FileHandle file, void* data, uint32_t size, uint32_t* read);
    int (*WriteFile)(FileHandle file, const void* data, uint32_t size, uint32_t* written);
    int (*CloseHandle)(FileHandle handle);
    // Non-zero when anything stands at the path, a link whose target is missing included.
    int (*PathFileExistsA)(const char* path);
    int (*DeleteFileA)(const char* path);
    // A second name for a file, in the same folder; fails, with kErrorAlreadyExists or
    // kErrorFileExists, where anything stands at `new_name` (a link whose target is missing
    // included). No security attributes are passed.
    int (*CreateHardLinkA)(const char* new_name, const char* existing);
    // Gives a file a new name in the same folder; with flags 0 (never
    // MOVEFILE_REPLACE_EXISTING) it fails likewise where something stands at `to`.
    int (*MoveFileExA)(const char* from, const char* to, uint32_t flags);
    // The reason the last call on this thread failed (kErrorFileExists and others).
    uint32_t (*GetLastError)();
    uint32_t (*GetFileType)(FileHandle file);
    // Moves the file's position to `distance` from `method`'s origin (kFileBegin), storing
    // the new position where asked; non-zero on success.
    int (*SetFilePointerEx)(FileHandle file, int64_t distance, int64_t* position, uint32_t method);
    // Fills `*stamp` for an open file; 0 when the system cannot say.
    int (*GetFileStamp)(FileHandle file, FileStamp* stamp);
    // Puts what was written to the file on the disk before it returns; non-zero on success.
    int (*FlushFileBuffers)(FileHandle file);
    // Puts the names in the folder that holds `path` on the disk (the stand-in syncs the
    // folder); Windows has nothing to do here, NTFS keeping its names in its journal.
    int (*FlushFolderOf)(const char* path);
#if !defined(_WIN32)
    // Linux's copy from one file to another inside the kernel: at most `size` bytes from
    // `*in_offset` of `in` (which it advances) to `out` at its file position; the count
    // copied, 0 at the end of `in`, or -1 with errno.
    intptr_t (*copy_file_range)(int in, int64_t* in_offset, int out, int64_t* out_offset, size_t size,
                                unsigned flags);
#endif

    // Libraries. LoadLibrary looks for a bare file name in the system's own library folder
    // only (never in the program's folder or the current one); a full path is loaded as
    // given. A name that GetProcAddress gets with a high part of 0 is an ordinal.
    ModuleHandle (*GetModuleHandleA)(const char* name);
    ModuleHandle (*LoadLibrary)(const char* name);
    void* (*GetProcAddress)(ModuleHandle module, const char* name);
    int (*FreeLibrary)(ModuleHandle module);

    // The program host.
    uint32_t (*GetModuleFileNameA)(ModuleHandle module, char* buffer, uint32_t size);
    // The whole number of `key` in `[section]` of the settings file at `path` (in the form
    // GetModuleFileNameA gives), or `default_value` where the file, the section or the key
    // is missing; names are matched without regard to case, and a negative number reads 0.
    uint32_t (*GetPrivateProfileIntA)(const char* section, const char* key, int default_value, const char* path);
    // The same of the settings file `file_name` in the program's own folder, into `*value`,
    // found whatever the folder's name (Windows: through the wide calls). 0, with the default
    // in `*value`, where the program's own path cannot be had.
    int (*GetOwnProfileInt)(const char* file_name, const char* section, const char* key, int default_value,
                            uint32_t* value);
    // The whole command line in the Windows form: the program, then each argument, blanks
    // between, as Windows quotes them.
    const char* (*GetCommandLineA)();
    // Writes a GBK text to kStandardOutput or kStandardError; nothing where there is none.
    void (*WriteStandardStream)(int stream, const char* text);
    // Creates a running thread; stores its handle, or closes it when `handle` is null.
    int (*CreateThread)(ThreadRoutine routine, void* parameter, FileHandle* handle);
    void (*DeleteCriticalSection)(CriticalSection* section);
    // Dispatches the window messages waiting on this thread, leaving a WM_QUIT queued.
    void (*PumpWaitingMessages)();

    // The carrier dialog and its keeper. Resources are named by number (IntResource).
    intptr_t (*DialogBoxParamA)(ModuleHandle instance, const char* template_name, WindowHandle parent,
                                DialogProc procedure, intptr_t init);
    IconHandle (*LoadIconA)(ModuleHandle instance, const char* name);
    intptr_t (*SendMessageA)(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
    int (*SetWindowPos)(WindowHandle window, WindowHandle after, int x, int y, int cx, int cy,
                        uint32_t flags);
    void (*Sleep)(uint32_t milliseconds);

    // The shell's special folders: the folder's list, then its path into a buffer of
    // kMaxPath bytes (an empty string when it has none).
    int32_t (*SHGetSpecialFolderLocation)(WindowHandle owner, int folder, ItemIdList** list);
    int (*SHGetPathFromIDListA)(const ItemIdList* list, char* path);
};

// The live table; tests may swap entries and must restore them. Each platform fills it by
// member name, so a function cannot land in another slot of the same type.
extern Slots slots;
// The table as the platform fills it, for restoring.
const Slots& DefaultSlots();

// The program's own loaded image: [base, end] holds every constant built into it.
struct AddressRange {
    uintptr_t base;
    uintptr_t end;
};
AddressRange OwnImageRange();

// Up to `size` bytes of `in` from `offset` written to `out` at its position by the system
// itself, without passing through the program (Linux: copy_file_range, through its slot);
// the count copied, less where the system stops (0 where it has no such copy: Windows).
uint32_t CopyRange(FileHandle in, int64_t offset, FileHandle out, uint32_t size);

// What the platform takes from the process entry: the stand-in keeps the arguments for its
// command line and leaves a file-size limit to fail writes instead of ending the process;
// Windows has its own command line and needs nothing.
void StartProcess(int argc, char** argv);

// Ends the process at once with `code`; nothing after it runs.
[[noreturn]] void ExitProcess(uint32_t code);

}  // namespace platform

#if !defined(_WIN32)
// The stand-in's open-file dialog, exported by the program under the Windows name so the
// binder finds it (platform/posix/picker_posix.cpp).
extern "C" int32_t GetOpenFileNamePreview(platform::OPENFILENAMEA* request);
#endif
