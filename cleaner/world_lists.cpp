#include "cleaner/world_lists.h"

#include "cleaner/items.h"

namespace cleaner {

namespace {

constexpr char kMothballedOpen[] = "<pawnsMothballed>";
constexpr char kMothballedClose[] = "</pawnsMothballed>";
constexpr char kKeptOpen[] = "<pawnsForcefullyKeptAsWorldPawns>";
constexpr char kKeptClose[] = "</pawnsForcefullyKeptAsWorldPawns>";
constexpr char kEntry[] = "<li>Thing_";
constexpr int64_t kEntryLength = sizeof kEntry - 1;
constexpr int64_t kItemEndLength = 5;  // "</li>"

}  // namespace

MothballedList FindMothballed(SaveView file, const PawnSection& living) {
    MothballedList list;
    const int32_t open = file.Find(kMothballedOpen, living.z);
    if (open == -1) return list;
    list.from = int64_t{open} - 1 + (sizeof kMothballedOpen - 1);
    const int32_t close = file.Find(kMothballedClose, list.from + 1);
    if (close == -1) return list;
    list.present = true;
    list.to = int64_t{close} - 1;
    list.content = file.MidBytes(list.from + 1, list.to - list.from);
    return list;
}

std::vector<KeptForever> FindKeptForever(SaveView file, const PawnSection& living) {
    std::vector<KeptForever> entries;
    // Only a list that begins before the living one counts, so only the file before it is
    // searched (a tag that begins there may end inside the living list's tag).
    const SaveView before = file.MidBytes(1, int64_t{living.a} - 1 + (sizeof kKeptClose - 2));
    const int32_t open = before.Find(kKeptOpen);
    if (open == -1 || open > living.a) return entries;
    const int32_t close = before.Find(kKeptClose, int64_t{open} + (sizeof kKeptOpen - 1));
    if (close == -1 || close > living.a) return entries;
    const SaveView list = file.MidBytes(1, close - 1);  // the file up to the closing tag
    for (int32_t at = list.Find(kEntry, open); at != -1; at = list.Find(kEntry, int64_t{at} + 1)) {
        const int64_t id_from = int64_t{at} + kEntryLength;
        const int32_t end = list.Find("</li>", id_from);
        if (end == -1) break;
        std::string_view id(reinterpret_cast<const char*>(list.data) + (id_from - 1), static_cast<size_t>(end - id_from));
        if (id.empty() || id.find('<') != std::string_view::npos) continue;
        int64_t from = int64_t{at} - 1;
        while (from > 0 && IsXmlSpace(list.data[from - 1])) --from;
        entries.push_back({from, int64_t{end} - 1 + kItemEndLength, id});
    }
    return entries;
}

}  // namespace cleaner
