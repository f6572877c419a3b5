// Text conversions of the Linux stand-in: the program speaks GBK, the system UTF-8.
#pragma once

#include <string>

namespace platform::posix {

// Bytes that do not convert pass through unchanged.
std::string GbkToUtf8(const char* text);
std::string Utf8ToGbk(const char* text);
// False when some character has no GBK form.
bool Utf8ToGbkExactly(const std::string& text, std::string* gbk);

// One GBK argument as Windows quotes it on a command line, so that splitting the line the
// Windows way gives it back.
std::string QuoteArgument(const std::string& arg);

}  // namespace platform::posix
