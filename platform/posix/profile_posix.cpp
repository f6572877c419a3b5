// The stand-in's settings files, read as GetPrivateProfileIntA reads them on Windows.
#include "platform/posix/profile_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

namespace platform::posix {

namespace {

constexpr size_t kLongestFile = 64 << 20;  // more is not read

// The file's bytes, where it is a regular file. It is opened without waiting, so a FIFO or a
// device at its name reads as no file rather than holding the program.
bool RegularFileBytes(const std::string& path, std::string* bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[64 << 10];
    for (ssize_t n; regular && bytes->size() < kLongestFile && (n = read(fd, buffer, sizeof buffer)) > 0;)
        bytes->append(buffer, static_cast<size_t>(n));
    close(fd);
    return regular;
}

// A file that begins with the UTF-16 byte-order mark (either order) holds UTF-16: its ASCII
// characters as bytes, every other as one byte that is none of them (names and numbers are
// ASCII); a UTF-8 mark is passed over.
std::string AsBytes(std::string text) {
    const bool little = text.rfind("\xFF\xFE", 0) == 0, big = text.rfind("\xFE\xFF", 0) == 0;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) return text.substr(3);
    if (!little && !big) return text;
    std::string bytes;
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
        const auto unit = static_cast<uint16_t>(static_cast<uint8_t>(text[i + (little ? 0 : 1)]) |
                                                static_cast<uint8_t>(text[i + (little ? 1 : 0)]) << 8);
        bytes += unit < 0x80 ? static_cast<char>(unit) : '\x80';
    }
    return bytes;
}

std::string_view Trimmed(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\v\f";
    const size_t from = s.find_first_not_of(kBlanks);
    if (from == std::string_view::npos) return {};
    return s.substr(from, s.find_last_not_of(kBlanks) - from + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// A value as Windows reads a whole number from it: blanks, a sign, "0x" for hexadecimal,
// "0o" for octal, "0b" for binary, then digits up to the first that is none, kept to 32 bits
// as they come; a negative number reads 0.
uint32_t Number(std::string_view value) {
    size_t i = 0;
    while (i < value.size() && static_cast<unsigned char>(value[i]) <= ' ') ++i;
    const bool negative = i < value.size() && value[i] == '-';
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) ++i;
    uint32_t base = 10;
    if (value.substr(i, 2) == "0x") base = 16;
    else if (value.substr(i, 2) == "0o") base = 8;
    else if (value.substr(i, 2) == "0b") base = 2;
    if (base != 10) i += 2;
    uint32_t number = 0;
    for (; i < value.size(); ++i) {
        const char c = value[i];
        const uint32_t digit = c >= '0' && c <= '9'   ? static_cast<uint32_t>(c - '0')
                               : c >= 'a' && c <= 'f' ? static_cast<uint32_t>(c - 'a' + 10)
                               : c >= 'A' && c <= 'F' ? static_cast<uint32_t>(c - 'A' + 10)
                                                      : 99;
        if (digit >= base) break;
        number = number * base + digit;
    }
    return negative && number != 0 ? 0 : number;
}

}  // namespace

uint32_t ProfileInt(const std::string& path, const char* section, const char* key, int default_value) {
    std::string bytes;
    if (!RegularFileBytes(path, &bytes)) return static_cast<uint32_t>(default_value);
    const std::string text = AsBytes(std::move(bytes));
    enum { kBefore, kInside, kAfter } where = kBefore;  // the first section of the name is the one read
    for (size_t at = 0; at <= text.size() && where != kAfter;) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string_view line = Trimmed(std::string_view(text).substr(at, end - at));
        at = end + 1;
        if (!line.empty() && line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            const bool named = SameName(Trimmed(line.substr(1, close - 1)), section);
            where = where == kInside ? kAfter : named && where == kBefore ? kInside : where;
            continue;
        }
        if (where != kInside || line.empty() || line[0] == ';') continue;
        const size_t equals = line.find('=');
        if (!SameName(Trimmed(line.substr(0, equals)), key)) continue;
        std::string_view value = equals == std::string_view::npos ? std::string_view() : Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value.empty() ? static_cast<uint32_t>(default_value) : Number(value);
    }
    return static_cast<uint32_t>(default_value);
}

}  // namespace platform::posix
