// The stand-in's reading of a settings file, as Windows reads one.
#pragma once

#include <cstdint>
#include <string>

namespace platform::posix {

// The whole number of `key` in the first "[section]" of the file at `path` (the system's own
// bytes), or `default_value` where the file (a regular one), the section, the key or its
// value is missing; names are matched without regard to case.
uint32_t ProfileInt(const std::string& path, const char* section, const char* key, int default_value);

}  // namespace platform::posix
