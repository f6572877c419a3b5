// The Linux stand-in for the Windows calls of platform.h.
//
// The heap is the C library's; the image range is the executable's own loaded segments;
// a message box prints "[caption] text" on standard output in UTF-8 and, only when
// standard input is a terminal, waits for Enter.
#include "platform/platform.h"

#include <iconv.h>
#include <link.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

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

// GBK to UTF-8; bytes that do not convert are passed through unchanged.
std::string GbkToUtf8(const char* text) {
    std::string out;
    if (text == nullptr) return out;
    iconv_t cd = iconv_open("UTF-8", "GBK");
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

const Slots kDefaultSlots = {
    PosixGetProcessHeap, PosixHeapAlloc,    PosixHeapReAlloc, PosixHeapFree,
    PosixIsBadReadPtr,   PosixMessageBoxA,
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

// Like ExitProcess, nothing registered with atexit runs: blocks still held at the end are
// left to the system, exactly as the program intends.
void ExitProcess(uint32_t code) {
    std::fflush(nullptr);
    _exit(static_cast<int>(code));
}

}  // namespace platform
