// Process start-up, the support library ThreadSupport and the host's numbered service.
#include "runtime/host.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/memory.h"
#include "runtime/value.h"

namespace runtime {

LibraryNotify SupportLibraryTable[2] = {ThreadSupportNotify, nullptr};
LockRecord* LockRegistryHead = nullptr;

namespace {

uintptr_t stored_service = 0;  // kept for the library, never called

constexpr uint32_t kPathBufferSize = 260;
char directory_buffer[kPathBufferSize];
char file_name_buffer[kPathBufferSize];

void NotifyAll(int32_t message, uintptr_t p1) {
    for (LibraryNotify* entry = SupportLibraryTable; *entry != nullptr; ++entry)
        (*entry)(message, p1, 0);
}

void NotifyEnd() { NotifyAll(kNotifyEnd, 0); }

// The executable's path into `buffer`; false when it cannot be had whole.
bool OwnPath(char* buffer) {
    uint32_t n = platform::slots.GetModuleFileNameA(nullptr, buffer, kPathBufferSize);
    if (n == 0 || n >= kPathBufferSize) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

// The last backslash of a GBK path, or null: a two-byte character's second byte may be 0x5C
// ("誠" is D5 5C), and is no separator.
char* LastSeparator(char* path) {
    char* last = nullptr;
    for (char* p = path; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x81 && c <= 0xFE && p[1] != '\0') ++p;
        else if (c == '\\') last = p;
    }
    return last;
}

uintptr_t CopyPathPart(uintptr_t selector, char* caller_buffer) {
    char path[kPathBufferSize];
    directory_buffer[0] = file_name_buffer[0] = '\0';
    if (OwnPath(path)) {
        char* slash = LastSeparator(path);
        size_t dir_length = slash == nullptr ? 0 : static_cast<size_t>(slash - path) + 1;
        std::memcpy(directory_buffer, path, dir_length);
        directory_buffer[dir_length] = '\0';
        std::snprintf(file_name_buffer, kPathBufferSize, "%s", path + dir_length);
    }
    const char* source = selector == 1 || selector == 2001 ? directory_buffer
                         : selector == 2002                ? file_name_buffer
                                                           : nullptr;
    if (source == nullptr) return 0;
    std::memcpy(caller_buffer, source, std::strlen(source) + 1);
    return reinterpret_cast<uintptr_t>(source);
}

// 2003 and 2004: the directory buffer cut at the last backslash; the file name follows.
uintptr_t SplitOwnPath(bool want_file_name) {
    if (!OwnPath(directory_buffer)) return 0;
    char* slash = LastSeparator(directory_buffer);
    if (slash == nullptr) return want_file_name ? reinterpret_cast<uintptr_t>(directory_buffer) : 0;
    *slash = '\0';
    return reinterpret_cast<uintptr_t>(want_file_name ? slash + 1 : directory_buffer);
}

uintptr_t CommandLineArguments() {
    const char* line = platform::slots.GetCommandLineA();
    if (*line == '"') {
        const char* close = std::strchr(line + 1, '"');
        line = close == nullptr ? line + std::strlen(line) : close + 1;
        if (*line == ' ') ++line;
    } else {
        while (*line != '\0' && *line != ' ') ++line;
        if (*line == ' ') ++line;
    }
    return reinterpret_cast<uintptr_t>(line);
}

// A number as a 32-bit integer; floating values are cut toward zero and held in range.
uintptr_t AsInt32(const TaggedValue* v) {
    double d = 0;
    if (v->Is(ValueKind::Float)) {
        float f;
        std::memcpy(&f, &v->value, sizeof f);
        d = f;
    } else if (v->Is(ValueKind::Double)) {
        d = v->AsDouble();
    } else {
        return static_cast<uintptr_t>(static_cast<int32_t>(v->value));
    }
    if (std::isnan(d)) d = 0;
    d = std::fmax(std::fmin(std::trunc(d), 2147483647.0), -2147483648.0);
    return static_cast<uintptr_t>(static_cast<int32_t>(d));
}

void ReleaseByKind(uint32_t code, DynamicArray* block) {
    switch (static_cast<ValueKind>(code)) {
        case ValueKind::Text:
        case ValueKind::ByteSet:
            FreePointerArray(block);
            break;
        case ValueKind::Bool: case ValueKind::DateTime: case ValueKind::SubroutinePointer:
        case ValueKind::Byte: case ValueKind::Int16: case ValueKind::Int32:
        case ValueKind::Int64: case ValueKind::Float: case ValueKind::Double:
            FreeMemory(block);
            break;
        default:
            break;
    }
}

[[noreturn]] void LibraryFatalError(const char* message) {
    char text[1024];
    std::snprintf(text, sizeof text, "Nightjar RunTime Error:\r\n\r\n%s", message ? message : "");
    platform::slots.MessageBoxA(nullptr, text, "ERROR", platform::kMbIconError);
    EndProgram(0);
}

uintptr_t Unsupported(int32_t code) {
    char text[256];
    std::snprintf(text, sizeof text, "不支持系统功能函数%d. 请将此信息反馈给作者", static_cast<int>(code));
    platform::slots.MessageBoxA(nullptr, text, "nightjar", platform::kMbIconError);
    return 0;
}

}  // namespace

void HostStartup() {
    ProcessHeapHandle = platform::slots.GetProcessHeap();
    SetLibraryEndNotification(NotifyEnd);
    NotifyAll(kNotifyStart, reinterpret_cast<uintptr_t>(&SystemService));
}

void FreePointerArray(DynamicArray* block) {
    ArrayView v = ArrayElements(block);
    for (int32_t i = 0; i < v.count; ++i) {
        uint8_t* member = v.first + static_cast<size_t>(i) * kPointerMemberSize;
        void* p;
        std::memcpy(&p, member, sizeof p);
        if (p == nullptr) continue;
        FreeMemory(p);
        std::memset(member, 0, sizeof p);
    }
    FreeMemory(block);
}

uintptr_t SystemService(int32_t code, uintptr_t p1, uintptr_t p2) {
    switch (code) {
        case 1004: return 1;
        case 1005: return 4;
        case 1006: return CopyPathPart(p1, reinterpret_cast<char*>(p2));
        case 2001: return AsInt32(reinterpret_cast<const TaggedValue*>(p1));
        case 2002: return CommandLineArguments();
        case 2003: return SplitOwnPath(false);
        case 2004: return SplitOwnPath(true);
        case 2018: platform::slots.PumpWaitingMessages(); return 0;
        case 2023: ReleaseByKind(static_cast<uint32_t>(p1), reinterpret_cast<DynamicArray*>(p2)); return 0;
        case 2024: return reinterpret_cast<uintptr_t>(AllocateMemory(static_cast<uint32_t>(p1)));
        case 2025: FreeMemory(reinterpret_cast<void*>(p1)); return 0;
        case 2026:
            return reinterpret_cast<uintptr_t>(
                ReallocateMemory(reinterpret_cast<void*>(p1), static_cast<uint32_t>(p2)));
        case 2027: LibraryFatalError(reinterpret_cast<const char*>(p1));
        case 2028: EndProgram(static_cast<int32_t>(p1));
        case 2030: return 3;
        case 2032:
        case 2033: return 0;
        default: return Unsupported(code);
    }
}

int32_t ThreadSupportNotify(int32_t message, uintptr_t p1, uintptr_t) {
    if (message == kNotifyStart) {
        stored_service = p1;
        return 0;
    }
    if (message == kNotifyEnd) {
        for (LockRecord* record = LockRegistryHead; record != nullptr;) {
            platform::slots.DeleteCriticalSection(&record->section);
            LockRecord* next = record->next;
            std::free(record);
            record = next;
        }
        LockRegistryHead = nullptr;
        return 0;
    }
    return -1;
}

bool StartThread(platform::ThreadRoutine routine, void* parameter, platform::FileHandle* handle) {
    return platform::slots.CreateThread(routine, parameter, handle) != 0;
}

}  // namespace runtime
