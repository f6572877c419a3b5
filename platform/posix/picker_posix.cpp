// The stand-in's open-file dialog. The program binds "GetOpenFileNamePreview" of
// msvfw32.dll at run time; on Linux the binder finds this function in the program itself.
//
// It opens the request's initial folder when that exists (backslashes read as folder
// separators), else the game's own Linux save folder, else the current folder; lists the
// files there that match the filter's first pattern on standard error; and reads one line
// from standard input: a number from the list or a path (relative paths are taken from
// the folder). An empty line or the end of input is a cancel.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"

namespace {

using platform::posix::GbkToUtf8;

constexpr char kGameSaves[] = "/.config/unity3d/Ludeon Studios/RimWorld by Ludeon Studios/Saves";

bool IsFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Home() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

std::string Absolute(const std::string& folder) {
    char* full = realpath(folder.c_str(), nullptr);
    std::string out = full != nullptr ? full : folder;
    std::free(full);
    return out;
}

std::string StartFolder(const char* initial) {
    std::string folder = initial != nullptr ? GbkToUtf8(initial) : "";
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (IsFolder(folder)) return Absolute(folder);
    std::string game = Home() + kGameSaves;
    if (!Home().empty() && IsFolder(game)) return game;
    return Absolute(".");
}

// "*.rws" lists the names ending in ".rws"; a pattern without "*" lists that name only.
std::vector<std::string> Matching(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    std::string tail = pattern.substr(pattern.find('*') == std::string::npos ? 0 : pattern.find('*') + 1);
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            bool all = pattern.find('*') != std::string::npos;
            if (name.size() >= tail.size() && (all ? name.compare(name.size() - tail.size(), tail.size(), tail) == 0
                                                   : name == pattern) &&
                !IsFolder(folder + "/" + name))
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsNumber(const std::string& s) {
    return !s.empty() && s.size() < 9 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t GetOpenFileNamePreview(platform::OPENFILENAMEA* request) {
    const std::string folder = StartFolder(request->lpstrInitialDir);
    // The filter list is description, pattern, ... ; a lone string is its own pattern.
    const char* filter = request->lpstrFilter != nullptr ? request->lpstrFilter : "";
    const char* second = filter + std::strlen(filter) + 1;
    const std::string pattern = *filter != '\0' && *second != '\0' ? second : filter;
    const std::vector<std::string> names = Matching(folder, pattern.empty() ? "*" : pattern);

    std::string title = request->lpstrTitle != nullptr ? GbkToUtf8(request->lpstrTitle) : "Open";
    std::fprintf(stderr, "%s\nFolder: %s\n", title.c_str(), folder.c_str());
    for (size_t i = 0; i < names.size(); ++i) std::fprintf(stderr, "  %zu. %s\n", i + 1, names[i].c_str());
    if (names.empty()) std::fprintf(stderr, "  (no %s files here)\n", pattern.c_str());
    std::fprintf(stderr, "Number or path (empty to cancel): ");
    std::fflush(stderr);

    std::string line;
    if (!std::getline(std::cin, line)) {
        std::fputc('\n', stderr);
        return 0;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return 0;

    std::string path;
    if (IsNumber(line) && std::stoul(line) >= 1 && std::stoul(line) <= names.size()) {
        path = folder + "/" + names[std::stoul(line) - 1];
    } else if (line.rfind("~/", 0) == 0 && !Home().empty()) {
        path = Home() + line.substr(1);
    } else {
        path = line[0] == '/' ? line : folder + "/" + line;
    }

    std::string gbk;
    if (!platform::posix::Utf8ToGbkExactly(path, &gbk)) {
        std::fprintf(stderr, "sorrel: %s cannot be written in GBK, the program's encoding; nothing chosen.\n",
                     path.c_str());
        return 0;
    }
    if (gbk.size() + 1 > request->nMaxFile) {
        std::fprintf(stderr, "sorrel: the path is longer than %u bytes; nothing chosen.\n", request->nMaxFile - 1);
        return 0;
    }
    std::memcpy(request->lpstrFile, gbk.c_str(), gbk.size() + 1);
    return 1;
}
