#include "tools/grown_save.h"

#include <vector>

namespace tools {
namespace {

// Where each top-level item of the list whose content runs from `from` ends, with the blanks
// before it: [begin, end) pairs. Comments are passed over; the game writes no other markup
// inside a pawn.
std::vector<std::pair<size_t, size_t>> Items(const std::string& s, size_t from, size_t to) {
    std::vector<std::pair<size_t, size_t>> items;
    int depth = 0;
    size_t begin = from;
    for (size_t at = s.find('<', from); at < to; at = s.find('<', at)) {
        if (s.compare(at, 4, "<!--") == 0) {
            at = s.find("-->", at);
            if (at == std::string::npos) break;
            at += 3;
            continue;
        }
        const size_t gt = s.find('>', at);
        if (gt == std::string::npos) break;
        if (s[at + 1] == '/') --depth;
        else if (s[gt - 1] != '/') ++depth;
        at = gt + 1;
        if (depth == 0) {
            items.emplace_back(begin, at);
            begin = at;
        }
    }
    return items;
}

}  // namespace

std::string GrownSave(const std::string& save, int64_t size) {
    const size_t open = save.find("<pawnsAlive>");
    const size_t close = save.find("</pawnsAlive>");
    if (open == std::string::npos || close == std::string::npos) return {};
    const auto items = Items(save, open + 12, close);
    if (items.empty()) return {};
    const size_t end = items.back().second;  // the blanks before the list's end tag stay last
    std::string out = save.substr(0, end);
    const std::string rest = save.substr(end);
    uint64_t number = 50000000;
    for (size_t i = 0; static_cast<int64_t>(out.size() + rest.size()) < size; i = (i + 1) % items.size()) {
        const std::string item = save.substr(items[i].first, items[i].second - items[i].first);
        size_t at = 0;
        for (size_t id = item.find("<id>"); id != std::string::npos; id = item.find("<id>", at)) {
            const size_t text = id + 4, stop = item.find("</id>", text);
            if (stop == std::string::npos) break;  // an id left open: the rest is copied as it stands
            size_t digits = stop;
            while (digits > text && item[digits - 1] >= '0' && item[digits - 1] <= '9') --digits;
            out.append(item, at, digits - at);
            out += std::to_string(number++);
            at = stop;
        }
        out.append(item, at, std::string::npos);
    }
    return out + rest;
}

}  // namespace tools
