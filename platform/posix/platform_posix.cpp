// The Linux stand-in for the Windows calls of platform.h.
//
// The heap is the C library's; the image range is the executable's own loaded segments;
// a message box prints "[caption] text" on standard output in UTF-8 and, only when
// standard input is a terminal, waits for Enter.
#include "platform/platform.h"
#include "platform/posix/posix_text.h"
#include "platform/posix/profile_posix.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <iconv.h>
#include <link.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <vector>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace posix {

// Converts between the program's GBK and the system's UTF-8; bytes that do not convert are
// passed through unchanged.
std::string Convert(const char* to, const char* from, const char* text) {
    std::string out;
    if (text == nullptr) return out;
    iconv_t cd = iconv_open(to, from);
    size_t in_left = std::strlen(text);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text, in_left);
    char* in = const_cast<char*>(text);
    char buffer[1024];
    while (in_left > 0) {
        char* o = buffer;
        size_t o_left = sizeof buffer;
        size_t r = iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buffer, o);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out.push_back(*in++);
            --in_left;
        }
    }
    iconv_close(cd);
    return out;
}

std::string GbkToUtf8(const char* text) { return Convert("UTF-8", "GBK", text); }
std::string Utf8ToGbk(const char* text) { return Convert("GBK", "UTF-8", text); }

bool Utf8ToGbkExactly(const std::string& text, std::string* gbk) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string out(text.size() * 2 + 1, '\0');
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size(), out_left = out.size();
    char* o = out.data();
    size_t r = iconv(cd, &in, &in_left, &o, &out_left);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || in_left != 0) return false;
    out.resize(out.size() - out_left);
    *gbk = out;
    return true;
}

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// One argument as Windows quotes it, so that splitting the line the Windows way gives it
// back: in double quotes when it is empty or holds a blank, a tab or a quote; inside them a
// quote is escaped by a backslash, and the backslashes right before a quote (or before the
// closing one) are doubled. GBK two-byte characters (a lead byte and a trail byte) are
// copied whole.
std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (size_t i = 0; i < arg.size(); ++i) {
        auto c = static_cast<unsigned char>(arg[i]);
        if (IsLeadByte(c) && i + 1 < arg.size() && IsTrailByte(static_cast<unsigned char>(arg[i + 1]))) {
            out.append(arg, i++, 2);
            backslashes = 0;
        } else if (c == '\\') {
            out += '\\';
            ++backslashes;
        } else {
            if (c == '"') out.append(backslashes + 1, '\\');
            out += static_cast<char>(c);
            backslashes = 0;
        }
    }
    out.append(backslashes, '\\');
    return out + "\"";
}

}  // namespace posix

namespace {

// The stand-in's open-file dialog lives in picker_posix.cpp and is found by the binder in
// the program itself; this reference keeps it in every program that links the platform.
__attribute__((used)) void* const kStandInDialog = reinterpret_cast<void*>(&GetOpenFileNamePreview);

using posix::GbkToUtf8;
using posix::Utf8ToGbk;

// Any non-null token will do: the C library has one heap.
int heap_token;

HeapHandle PosixGetProcessHeap() { return &heap_token; }

void* PosixHeapAlloc(HeapHandle, uint32_t flags, size_t size) {
    if (size == 0) size = 1;  // a valid, releasable block, as HeapAlloc gives
    return (flags & kHeapZeroMemory) ? std::calloc(1, size) : std::malloc(size);
}

void* PosixHeapReAlloc(HeapHandle, uint32_t, void* block, size_t size) {
    return std::realloc(block, size == 0 ? 1 : size);
}

int PosixHeapFree(HeapHandle, uint32_t, void* block) {
    std::free(block);
    return 1;
}

// Reading our own memory through the kernel reports EFAULT instead of faulting.
int PosixIsBadReadPtr(const void* address, size_t size) {
    char probe[64];
    while (size > 0) {
        size_t n = size < sizeof probe ? size : sizeof probe;
        iovec local{probe, n};
        iovec remote{const_cast<void*>(address), n};
        if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != static_cast<ssize_t>(n))
            return 1;
        address = static_cast<const char*>(address) + n;
        size -= n;
    }
    return 0;
}

std::string WithLineBreaks(std::string s) {
    for (size_t at; (at = s.find("\r\n")) != std::string::npos;) s.replace(at, 2, "\n");
    return s;
}

int PosixMessageBoxA(WindowHandle, const char* text, const char* caption, uint32_t) {
    std::string line = "[" + GbkToUtf8(caption) + "] " + WithLineBreaks(GbkToUtf8(text)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    if (isatty(STDIN_FILENO)) {
        int c;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
    }
    return 1;  // IDOK
}

int FdOf(FileHandle handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }
FileHandle HandleOf(int fd) { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd)); }

// The reason for the last failure, in the Windows numbering the program knows.
thread_local uint32_t last_error = 0;

uint32_t ErrorOf(int error) {
    switch (error) {
        case EEXIST: return kErrorFileExists;
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES: case EPERM: case EISDIR: case ELOOP: return kErrorAccessDenied;
        case ENAMETOOLONG: return kErrorFilenameExcedRange;
        case ENOSPC: case EDQUOT: return kErrorDiskFull;
        case EROFS: return kErrorWriteProtect;
        case EFBIG: return 223;        // ERROR_FILE_TOO_LARGE
        default: return 31;            // ERROR_GEN_FAILURE
    }
}

FileHandle Failed(int error) {
    last_error = ErrorOf(error);
    return InvalidFile();
}

// POSIX opens are shared for reading and writing alike, which is what readers of a save
// the game may be writing need. A folder cannot be opened as a file, as on Windows. Reads
// open without waiting, so a FIFO or a device answers at once. kCreateNew never follows a
// link and fails on anything that stands at the name.
FileHandle PosixCreateFileA(const char* path, uint32_t access, uint32_t, uint32_t creation,
                            uint32_t) {
    std::string name = GbkToUtf8(path);
    int flags = O_CLOEXEC;
    if (access & kGenericWrite) flags |= O_WRONLY;
    else flags |= O_RDONLY | O_NONBLOCK;
    if (creation == kCreateAlways) flags |= O_CREAT | O_TRUNC;
    if (creation == kCreateNew) flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
    int fd = open(name.c_str(), flags, 0666);
    if (fd < 0) return Failed(errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return Failed(EISDIR);
    }
    return HandleOf(fd);
}

uint32_t PosixGetLastError() { return last_error; }

// Windows's FILE_TYPE_DISK, FILE_TYPE_CHAR and FILE_TYPE_PIPE.
uint32_t PosixGetFileType(FileHandle file) {
    struct stat st;
    if (fstat(FdOf(file), &st) != 0) return 0;  // FILE_TYPE_UNKNOWN
    if (S_ISREG(st.st_mode)) return kFileTypeDisk;
    return S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? 2 : 3;
}

uint32_t PosixGetFileSize(FileHandle file, uint32_t* high) {
    struct stat st;
    if (fstat(FdOf(file), &st) != 0) return 0xFFFFFFFF;
    auto size = static_cast<uint64_t>(st.st_size);
    if (high != nullptr) *high = static_cast<uint32_t>(size >> 32);
    return static_cast<uint32_t>(size);
}

// One read, as ReadFile makes one: it may store fewer bytes than asked, and none at the end
// of the file; the caller goes on.
int PosixReadFile(FileHandle file, void* data, uint32_t size, uint32_t* read_count) {
    ssize_t n;
    do {
        n = read(FdOf(file), data, size);
    } while (n < 0 && errno == EINTR);
    if (read_count != nullptr) *read_count = n < 0 ? 0 : static_cast<uint32_t>(n);
    return n < 0 ? 0 : 1;
}

int PosixWriteFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    uint32_t total = 0;
    while (total < size) {
        ssize_t n = write(FdOf(file), static_cast<const char*>(data) + total, size - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) last_error = ErrorOf(errno);
        if (n <= 0) break;
        total += static_cast<uint32_t>(n);
    }
    if (written != nullptr) *written = total;
    return total == size ? 1 : 0;
}

int PosixCloseHandle(FileHandle handle) {
    if (close(FdOf(handle)) == 0) return 1;
    last_error = ErrorOf(errno);
    return 0;
}

int PosixSetFilePointerEx(FileHandle file, int64_t distance, int64_t* position, uint32_t method) {
    const off_t at = lseek(FdOf(file), distance, method == kFileBegin ? SEEK_SET : method == 1 ? SEEK_CUR : SEEK_END);
    if (at < 0) {
        last_error = ErrorOf(errno);
        return 0;
    }
    if (position != nullptr) *position = at;
    return 1;
}

int64_t Nanoseconds(const timespec& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

int PosixGetFileStamp(FileHandle file, FileStamp* stamp) {
    struct stat st;
    if (fstat(FdOf(file), &st) != 0) return 0;
    *stamp = {{st.st_dev, st.st_ino, static_cast<uint64_t>(st.st_size), static_cast<uint64_t>(Nanoseconds(st.st_mtim)),
               static_cast<uint64_t>(Nanoseconds(st.st_ctim))}};
    return 1;
}

// A file system that has no way to flush a file (EINVAL, ENOTSUP) has nothing more to do.
int Synced(int fd) {
    int result;
    do {
        result = fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0 || errno == EINVAL || errno == ENOTSUP ? 1 : 0;
}

int PosixFlushFileBuffers(FileHandle file) {
    if (Synced(FdOf(file))) return 1;
    last_error = ErrorOf(errno);
    return 0;
}

int PosixFlushFolderOf(const char* path) {
    std::string name = GbkToUtf8(path);
    const size_t cut = name.rfind('/');
    name = cut == std::string::npos ? "." : cut == 0 ? "/" : name.substr(0, cut);
    int fd = open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    int synced = Synced(fd);
    close(fd);
    return synced;
}

// The entry itself: a link counts whether or not its target exists.
int PosixPathFileExistsA(const char* path) {
    struct stat st;
    return lstat(GbkToUtf8(path).c_str(), &st) == 0 ? 1 : 0;
}

int PosixDeleteFileA(const char* path) { return unlink(GbkToUtf8(path).c_str()) == 0 ? 1 : 0; }

int PosixCreateHardLinkA(const char* new_name, const char* existing) {
    if (link(GbkToUtf8(existing).c_str(), GbkToUtf8(new_name).c_str()) == 0) return 1;
    last_error = ErrorOf(errno);
    return 0;
}

// A new name that never replaces anything: renameat2 with RENAME_NOREPLACE.
int PosixMoveFileExA(const char* from, const char* to, uint32_t) {
    if (renameat2(AT_FDCWD, GbkToUtf8(from).c_str(), AT_FDCWD, GbkToUtf8(to).c_str(), RENAME_NOREPLACE) == 0) return 1;
    last_error = ErrorOf(errno);
    return 0;
}

// The libraries the program binds at run time on Windows are stood in for by the program
// itself, which exports the stand-in functions under the Windows names.
bool IsStoodIn(const char* name) {
    std::string lower;
    for (const char* c = name; *c; ++c) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return lower == "msvfw32.dll";
}

ModuleHandle PosixGetModuleHandleA(const char* name) {
    if (name == nullptr || IsStoodIn(name)) return dlopen(nullptr, RTLD_NOW);
    void* module = dlopen(GbkToUtf8(name).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (module != nullptr) dlclose(module);  // a look-up takes no reference
    return module;
}

// A bare name is searched in the system's library paths only, never the current folder.
ModuleHandle PosixLoadLibrary(const char* name) {
    if (IsStoodIn(name)) return dlopen(nullptr, RTLD_NOW);
    return dlopen(GbkToUtf8(name).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* PosixGetProcAddress(ModuleHandle module, const char* name) {
    if (reinterpret_cast<uintptr_t>(name) <= 0xFFFF) return nullptr;  // no ordinals here
    return dlsym(module, name);
}

int PosixFreeLibrary(ModuleHandle module) { return dlclose(module) == 0 ? 1 : 0; }

// A settings file named in the program's form: GBK, its backslashes standing for slashes.
uint32_t PosixGetPrivateProfileIntA(const char* section, const char* key, int default_value, const char* path) {
    std::string name = GbkToUtf8(path);
    std::replace(name.begin(), name.end(), '\\', '/');
    return posix::ProfileInt(name, section, key, default_value);
}

// The program's own folder as the system names it, bytes and all: a name GBK cannot spell
// is found all the same.
int PosixGetOwnProfileInt(const char* file_name, const char* section, const char* key, int default_value,
                          uint32_t* value) {
    *value = static_cast<uint32_t>(default_value);
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0 || static_cast<size_t>(n) == sizeof path - 1) return 0;
    std::string own(path, static_cast<size_t>(n));
    own.erase(own.rfind('/') + 1);
    *value = posix::ProfileInt(own + file_name, section, key, default_value);
    return 1;
}

// The executable's path in the Windows form the program expects: GBK, with backslashes.
uint32_t PosixGetModuleFileNameA(ModuleHandle, char* buffer, uint32_t size) {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0 || size == 0) return 0;
    path[n] = '\0';
    std::string gbk = Utf8ToGbk(path);
    for (char& c : gbk)
        if (c == '/') c = '\\';
    uint32_t copied = gbk.size() < size ? static_cast<uint32_t>(gbk.size()) : size - 1;
    std::memcpy(buffer, gbk.data(), copied);
    buffer[copied] = '\0';
    return gbk.size() < size ? copied : size;
}

// The process's own arguments, as main received them (StartProcess).
std::vector<std::string>& ProcessArguments() {
    static std::vector<std::string> args;
    return args;
}

// The command line rebuilt in the Windows form, in GBK, from main's own arguments: the
// program name in double quotes (without the quotes a Linux name may hold, which Windows
// names never do), then each argument quoted as Windows quotes it; one with no GBK form as
// "" after a message on standard error.
const char* PosixGetCommandLineA() {
    static const std::string line = [] {
        const std::vector<std::string>& args = ProcessArguments();
        std::string name = args.empty() ? "sorrel" : Utf8ToGbk(args[0].c_str());
        name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
        std::string out = "\"" + name + "\"";
        for (size_t i = 1; i < args.size(); ++i) {
            std::string arg;
            if (!posix::Utf8ToGbkExactly(args[i], &arg)) {
                // An argument the program cannot name goes over as an empty one, which
                // names no save: it is not cleaned, and the run ends with status 1.
                std::fprintf(stderr,
                             "sorrel: %s cannot be written in GBK, the program's encoding; it is passed on as an "
                             "empty argument.\n",
                             args[i].c_str());
                arg.clear();
            }
            out += ' ' + posix::QuoteArgument(arg);
        }
        return out;
    }();
    return line.c_str();
}

void PosixWriteStandardStream(int stream, const char* text) {
    std::string utf8 = GbkToUtf8(text);
    std::FILE* to = stream == kStandardError ? stderr : stdout;
    std::fwrite(utf8.data(), 1, utf8.size(), to);
    std::fflush(to);
}

struct ThreadStart {
    ThreadRoutine routine;
    void* parameter;
};

void* RunThread(void* start) {
    ThreadStart s = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    s.routine(s.parameter);
    return nullptr;
}

int PosixCreateThread(ThreadRoutine routine, void* parameter, FileHandle* handle) {
    auto* start = new ThreadStart{routine, parameter};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunThread, start) != 0) {
        delete start;
        return 0;
    }
    if (handle != nullptr) {
        *handle = reinterpret_cast<FileHandle>(thread);
    } else {
        pthread_detach(thread);
    }
    return 1;
}

void PosixDeleteCriticalSection(CriticalSection* section) {
    pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(section->storage));
}

// No window messages exist in the stand-in.
void PosixPumpWaitingMessages() {}

// The carrier dialog is never shown: its procedure gets the initialisation message at once,
// and what it returns is the dialog's result.
int carrier_token;

intptr_t PosixDialogBoxParamA(ModuleHandle, const char*, WindowHandle, DialogProc procedure, intptr_t init) {
    return procedure(&carrier_token, kWmInitDialog, 0, init);
}

IconHandle PosixLoadIconA(ModuleHandle, const char*) { return nullptr; }  // no icons here
intptr_t PosixSendMessageA(WindowHandle, uint32_t, uintptr_t, intptr_t) { return 0; }

int PosixSetWindowPos(WindowHandle, WindowHandle, int, int, int, int, uint32_t) { return 1; }  // nothing on top

void PosixSleep(uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// The profile folder is the home folder.
int profile_token;

int32_t PosixSHGetSpecialFolderLocation(WindowHandle, int folder, ItemIdList** list) {
    *list = folder == kCsidlProfile ? &profile_token : nullptr;
    return *list != nullptr ? 0 : static_cast<int32_t>(0x80004005);  // S_OK, E_FAIL
}

int PosixSHGetPathFromIDListA(const ItemIdList* list, char* path) {
    path[0] = '\0';
    const char* home = std::getenv("HOME");
    std::string gbk;
    if (list != &profile_token || home == nullptr || !posix::Utf8ToGbkExactly(home, &gbk) ||
        gbk.size() >= kMaxPath)
        return 0;
    std::memcpy(path, gbk.c_str(), gbk.size() + 1);
    return 1;
}

static_assert(sizeof(pthread_mutex_t) <= sizeof(CriticalSection));

const Slots kDefaultSlots = {
    .GetProcessHeap = PosixGetProcessHeap,
    .HeapAlloc = PosixHeapAlloc,
    .HeapReAlloc = PosixHeapReAlloc,
    .HeapFree = PosixHeapFree,
    .IsBadReadPtr = PosixIsBadReadPtr,
    .MessageBoxA = PosixMessageBoxA,
    .CreateFileA = PosixCreateFileA,
    .GetFileSize = PosixGetFileSize,
    .ReadFile = PosixReadFile,
    .WriteFile = PosixWriteFile,
    .CloseHandle = PosixCloseHandle,
    .PathFileExistsA = PosixPathFileExistsA,
    .DeleteFileA = PosixDeleteFileA,
    .CreateHardLinkA = PosixCreateHardLinkA,
    .MoveFileExA = PosixMoveFileExA,
    .GetLastError = PosixGetLastError,
    .GetFileType = PosixGetFileType,
    .SetFilePointerEx = PosixSetFilePointerEx,
    .GetFileStamp = PosixGetFileStamp,
    .FlushFileBuffers = PosixFlushFileBuffers,
    .FlushFolderOf = PosixFlushFolderOf,
    .copy_file_range = ::copy_file_range,
    .GetModuleHandleA = PosixGetModuleHandleA,
    .LoadLibrary = PosixLoadLibrary,
    .GetProcAddress = PosixGetProcAddress,
    .FreeLibrary = PosixFreeLibrary,
    .GetModuleFileNameA = PosixGetModuleFileNameA,
    .GetPrivateProfileIntA = PosixGetPrivateProfileIntA,
    .GetOwnProfileInt = PosixGetOwnProfileInt,
    .GetCommandLineA = PosixGetCommandLineA,
    .WriteStandardStream = PosixWriteStandardStream,
    .CreateThread = PosixCreateThread,
    .DeleteCriticalSection = PosixDeleteCriticalSection,
    .PumpWaitingMessages = PosixPumpWaitingMessages,
    .DialogBoxParamA = PosixDialogBoxParamA,
    .LoadIconA = PosixLoadIconA,
    .SendMessageA = PosixSendMessageA,
    .SetWindowPos = PosixSetWindowPos,
    .Sleep = PosixSleep,
    .SHGetSpecialFolderLocation = PosixSHGetSpecialFolderLocation,
    .SHGetPathFromIDListA = PosixSHGetPathFromIDListA,
};

int AddMainImage(dl_phdr_info* info, size_t, void* data) {
    auto* range = static_cast<AddressRange*>(data);
    uintptr_t low = UINTPTR_MAX, high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (start < low) low = start;
        if (start + ph.p_memsz > high) high = start + ph.p_memsz;
    }
    *range = {low, high};
    return 1;  // the first object listed is the executable itself
}

}  // namespace

Slots slots = kDefaultSlots;

const Slots& DefaultSlots() { return kDefaultSlots; }

AddressRange OwnImageRange() {
    AddressRange range{0, 0};
    dl_iterate_phdr(AddMainImage, &range);
    return range;
}

// The kernel copies file to file (copy_file_range), as cp copies; a copy it refuses (another
// file system, none at all) or stops short leaves the rest to the caller.
uint32_t CopyRange(FileHandle in, int64_t offset, FileHandle out, uint32_t size) {
    uint32_t total = 0;
    while (total < size) {
        intptr_t n = slots.copy_file_range(FdOf(in), &offset, FdOf(out), nullptr, size - total, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += static_cast<uint32_t>(n);
    }
    return total;
}

void StartProcess(int argc, char** argv) {
    ProcessArguments().assign(argv, argv + argc);
    // A file-size limit then fails the write that passes it, like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
}

// Like ExitProcess, nothing registered with atexit runs: blocks still held at the end are
// left to the system, exactly as the program intends.
void ExitProcess(uint32_t code) {
    std::fflush(nullptr);
    _exit(static_cast<int>(code));
}

}  // namespace platform
