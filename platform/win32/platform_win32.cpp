// The Windows implementation of platform.h: the calls the program is specified against,
// made with exactly the parameters it names.
#include "platform/platform.h"

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shlwapi.h>

// <windows.h> makes LoadLibrary a macro; here it is the slot's name.
#undef LoadLibrary

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace platform {
namespace {

HeapHandle WinGetProcessHeap() { return ::GetProcessHeap(); }

void* WinHeapAlloc(HeapHandle heap, uint32_t flags, size_t size) {
    return ::HeapAlloc(static_cast<HANDLE>(heap), flags, size);
}

void* WinHeapReAlloc(HeapHandle heap, uint32_t flags, void* block, size_t size) {
    return ::HeapReAlloc(static_cast<HANDLE>(heap), flags, block, size);
}

int WinHeapFree(HeapHandle heap, uint32_t flags, void* block) {
    return ::HeapFree(static_cast<HANDLE>(heap), flags, block);
}

int WinIsBadReadPtr(const void* address, size_t size) { return ::IsBadReadPtr(address, size); }

int WinMessageBoxA(WindowHandle owner, const char* text, const char* caption, uint32_t style) {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

FileHandle WinCreateFileA(const char* path, uint32_t access, uint32_t share, uint32_t creation,
                          uint32_t attributes) {
    return ::CreateFileA(path, access, share, nullptr, creation, attributes, nullptr);
}

uint32_t WinGetFileSize(FileHandle file, uint32_t* high) {
    DWORD h = 0;
    DWORD low = ::GetFileSize(static_cast<HANDLE>(file), &h);
    if (high != nullptr) *high = h;
    return low;
}

int WinReadFile(FileHandle file, void* data, uint32_t size, uint32_t* read) {
    DWORD n = 0;
    BOOL ok = ::ReadFile(static_cast<HANDLE>(file), data, size, &n, nullptr);
    if (read != nullptr) *read = n;
    return ok;
}

int WinWriteFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    DWORD n = 0;
    BOOL ok = ::WriteFile(static_cast<HANDLE>(file), data, size, &n, nullptr);
    if (written != nullptr) *written = n;
    return ok;
}

int WinCloseHandle(FileHandle handle) { return ::CloseHandle(static_cast<HANDLE>(handle)); }
int WinPathFileExistsA(const char* path) { return ::PathFileExistsA(path); }
int WinDeleteFileA(const char* path) { return ::DeleteFileA(path); }

int WinCreateHardLinkA(const char* new_name, const char* existing) {
    return ::CreateHardLinkA(new_name, existing, nullptr);
}

int WinMoveFileExA(const char* from, const char* to, uint32_t flags) { return ::MoveFileExA(from, to, flags); }
uint32_t WinGetLastError() { return ::GetLastError(); }
uint32_t WinGetFileType(FileHandle file) { return ::GetFileType(static_cast<HANDLE>(file)); }

int WinSetFilePointerEx(FileHandle file, int64_t distance, int64_t* position, uint32_t method) {
    LARGE_INTEGER to, now;
    to.QuadPart = distance;
    if (!::SetFilePointerEx(static_cast<HANDLE>(file), to, &now, method)) return 0;
    if (position != nullptr) *position = now.QuadPart;
    return 1;
}

// The size (both halves) and the last-write time.
int WinGetFileStamp(FileHandle file, FileStamp* stamp) {
    DWORD high = 0;
    const DWORD low = ::GetFileSize(static_cast<HANDLE>(file), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return 0;
    FILETIME written{};
    if (!::GetFileTime(static_cast<HANDLE>(file), nullptr, nullptr, &written)) return 0;
    *stamp = {};
    stamp->words[0] = (uint64_t{high} << 32) | low;
    stamp->words[1] = (uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    return 1;
}

int WinFlushFileBuffers(FileHandle file) { return ::FlushFileBuffers(static_cast<HANDLE>(file)); }
int WinFlushFolderOf(const char*) { return 1; }

ModuleHandle WinGetModuleHandleA(const char* name) { return ::GetModuleHandleA(name); }

// Only the system folder is searched, so a library of the same name planted beside the
// program (a downloads folder) is never run. Systems that predate the flag refuse it with
// ERROR_INVALID_PARAMETER; only there the standard search order is used.
ModuleHandle WinLoadLibrary(const char* name) {
    HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER)
        module = ::LoadLibraryA(name);
    return module;
}

void* WinGetProcAddress(ModuleHandle module, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

int WinFreeLibrary(ModuleHandle module) { return ::FreeLibrary(static_cast<HMODULE>(module)); }

uint32_t WinGetModuleFileNameA(ModuleHandle module, char* buffer, uint32_t size) {
    return ::GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
}

uint32_t WinGetPrivateProfileIntA(const char* section, const char* key, int default_value, const char* path) {
    return ::GetPrivateProfileIntA(section, key, default_value, path);
}

// The program's own path is had in UTF-16, whole whatever its folder's name (a name that the
// code page cannot spell comes back from GetModuleFileNameA with "?" in it); the file is
// read by the wide call. Names here are ASCII.
int WinGetOwnProfileInt(const char* file_name, const char* section, const char* key, int default_value,
                        uint32_t* value) {
    *value = static_cast<uint32_t>(default_value);
    constexpr DWORD kLongest = 32768;  // the longest path the system names
    std::vector<wchar_t> path(kLongest);
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), kLongest);
    if (n == 0 || n >= kLongest) return 0;
    std::wstring own(path.data(), n);
    own.erase(own.rfind(L'\\') + 1);
    const auto wide = [](const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); };
    *value = ::GetPrivateProfileIntW(wide(section).c_str(), wide(key).c_str(), default_value, (own + wide(file_name)).c_str());
    return 1;
}

const char* WinGetCommandLineA() { return ::GetCommandLineA(); }

// A desktop program has no standard streams to write to.
void WinWriteStandardStream(int, const char*) {}

struct ThreadStart {
    ThreadRoutine routine;
    void* parameter;
};

DWORD WINAPI RunThread(LPVOID start) {
    ThreadStart s = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    s.routine(s.parameter);
    return 0;
}

// Default security, default stack size, flags 0: the thread runs at once. Its identifier
// is received and dropped.
int WinCreateThread(ThreadRoutine routine, void* parameter, FileHandle* handle) {
    auto* start = new ThreadStart{routine, parameter};
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, RunThread, start, 0, &id);
    if (thread == nullptr) {
        delete start;
        return 0;
    }
    if (handle != nullptr) {
        *handle = thread;
    } else {
        ::CloseHandle(thread);
    }
    return 1;
}

void WinDeleteCriticalSection(CriticalSection* section) {
    ::DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(section->storage));
}

// Takes and dispatches what is waiting; a WM_QUIT stays in the queue.
void WinPumpWaitingMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT) {
        ::GetMessageA(&msg, nullptr, 0, 0);
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

intptr_t WinDialogBoxParamA(ModuleHandle instance, const char* template_name, WindowHandle parent,
                            DialogProc procedure, intptr_t init) {
    return ::DialogBoxParamA(static_cast<HINSTANCE>(instance), template_name, static_cast<HWND>(parent),
                             reinterpret_cast<DLGPROC>(procedure), init);
}

IconHandle WinLoadIconA(ModuleHandle instance, const char* name) {
    return ::LoadIconA(static_cast<HINSTANCE>(instance), name);
}

intptr_t WinSendMessageA(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    return ::SendMessageA(static_cast<HWND>(window), message, wparam, lparam);
}

int WinSetWindowPos(WindowHandle window, WindowHandle after, int x, int y, int cx, int cy, uint32_t flags) {
    return ::SetWindowPos(static_cast<HWND>(window), static_cast<HWND>(after), x, y, cx, cy, flags);
}

int32_t WinSHGetSpecialFolderLocation(WindowHandle owner, int folder, ItemIdList** list) {
    return ::SHGetSpecialFolderLocation(static_cast<HWND>(owner), folder,
                                        reinterpret_cast<LPITEMIDLIST*>(list));
}

void WinSleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

int WinSHGetPathFromIDListA(const ItemIdList* list, char* path) {
    return ::SHGetPathFromIDListA(static_cast<LPCITEMIDLIST>(list), path);
}

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSection));
static_assert(MAX_PATH == kMaxPath);
static_assert(sizeof(platform::OPENFILENAMEA) == sizeof(::OPENFILENAMEA));
static_assert(offsetof(platform::OPENFILENAMEA, lpstrFile) == offsetof(::OPENFILENAMEA, lpstrFile));
static_assert(offsetof(platform::OPENFILENAMEA, Flags) == offsetof(::OPENFILENAMEA, Flags));
static_assert(offsetof(platform::OPENFILENAMEA, lpTemplateName) == offsetof(::OPENFILENAMEA, lpTemplateName));
static_assert(kOpenFileNameSizeNt4 == offsetof(::OPENFILENAMEA, lpTemplateName) + sizeof(void*));
#if !defined(_WIN64)
static_assert(kOpenFileNameSizeNt4 == 76);
#endif
static_assert(kOfnExplorer == OFN_EXPLORER && kCsidlProfile == CSIDL_PROFILE);
static_assert(kWmInitDialog == WM_INITDIALOG && kWmSetIcon == WM_SETICON);
static_assert(kSwpNoSize == SWP_NOSIZE && kSwpNoMove == SWP_NOMOVE && kSwpNoActivate == SWP_NOACTIVATE);
static_assert(kCreateNew == CREATE_NEW && kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT);
static_assert(kErrorFileExists == ERROR_FILE_EXISTS && kFileTypeDisk == FILE_TYPE_DISK);
static_assert(kErrorSharingViolation == ERROR_SHARING_VIOLATION && kFileShareRead == FILE_SHARE_READ &&
              kFileBegin == FILE_BEGIN);
static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS && kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
              kErrorPathNotFound == ERROR_PATH_NOT_FOUND);

const Slots kDefaultSlots = {
    .GetProcessHeap = WinGetProcessHeap,
    .HeapAlloc = WinHeapAlloc,
    .HeapReAlloc = WinHeapReAlloc,
    .HeapFree = WinHeapFree,
    .IsBadReadPtr = WinIsBadReadPtr,
    .MessageBoxA = WinMessageBoxA,
    .CreateFileA = WinCreateFileA,
    .GetFileSize = WinGetFileSize,
    .ReadFile = WinReadFile,
    .WriteFile = WinWriteFile,
    .CloseHandle = WinCloseHandle,
    .PathFileExistsA = WinPathFileExistsA,
    .DeleteFileA = WinDeleteFileA,
    .CreateHardLinkA = WinCreateHardLinkA,
    .MoveFileExA = WinMoveFileExA,
    .GetLastError = WinGetLastError,
    .GetFileType = WinGetFileType,
    .SetFilePointerEx = WinSetFilePointerEx,
    .GetFileStamp = WinGetFileStamp,
    .FlushFileBuffers = WinFlushFileBuffers,
    .FlushFolderOf = WinFlushFolderOf,
    .GetModuleHandleA = WinGetModuleHandleA,
    .LoadLibrary = WinLoadLibrary,
    .GetProcAddress = WinGetProcAddress,
    .FreeLibrary = WinFreeLibrary,
    .GetModuleFileNameA = WinGetModuleFileNameA,
    .GetPrivateProfileIntA = WinGetPrivateProfileIntA,
    .GetOwnProfileInt = WinGetOwnProfileInt,
    .GetCommandLineA = WinGetCommandLineA,
    .WriteStandardStream = WinWriteStandardStream,
    .CreateThread = WinCreateThread,
    .DeleteCriticalSection = WinDeleteCriticalSection,
    .PumpWaitingMessages = WinPumpWaitingMessages,
    .DialogBoxParamA = WinDialogBoxParamA,
    .LoadIconA = WinLoadIconA,
    .SendMessageA = WinSendMessageA,
    .SetWindowPos = WinSetWindowPos,
    .Sleep = WinSleep,
    .SHGetSpecialFolderLocation = WinSHGetSpecialFolderLocation,
    .SHGetPathFromIDListA = WinSHGetPathFromIDListA,
};

}  // namespace

Slots slots = kDefaultSlots;

const Slots& DefaultSlots() { return kDefaultSlots; }

// The image starts at our module handle; its size is the PE optional header's SizeOfImage,
// reached through the DOS header's pointer to the PE header.
AddressRange OwnImageRange() {
    auto base = reinterpret_cast<const unsigned char*>(::GetModuleHandleA(nullptr));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    auto start = reinterpret_cast<uintptr_t>(base);
    return {start, start + nt->OptionalHeader.SizeOfImage};
}

// Windows has no copy between files that leaves the bytes out of the program's hands.
uint32_t CopyRange(FileHandle, int64_t, FileHandle, uint32_t) { return 0; }

void StartProcess(int, char**) {}

void ExitProcess(uint32_t code) {
    ::ExitProcess(code);
}

}  // namespace platform
