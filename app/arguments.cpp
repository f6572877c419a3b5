// The command line: splitting it, the Linux program's options, and cleaning each save.
#include "app/arguments.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "cleaner/clean.h"
#include "cleaner/extra_kinds.h"
#include "platform/platform.h"
#include "runtime/files.h"
#include "runtime/value.h"

namespace app {

namespace {

// A GBK two-byte character: a lead byte and a trail byte; a lead byte before anything else
// stands alone, so a blank or a quote after it still does its work.
bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One argument from `p` on; leaves `p` after it.
std::string TakeArgument(const char*& p) {
    std::string arg;
    bool quoted = false;
    while (*p != '\0' && (quoted || !IsBlank(*p))) {
        if (IsLeadByte(static_cast<unsigned char>(*p)) && IsTrailByte(static_cast<unsigned char>(p[1]))) {
            arg.append(p, 2);
            p += 2;
        } else if (*p == '\\') {
            size_t n = 0;
            while (p[n] == '\\') ++n;
            if (p[n] == '"') {
                arg.append(n / 2, '\\');
                if (n % 2 == 1) arg += '"';
                p += n + n % 2;  // an even run leaves its quote to group
            } else {
                arg.append(n, '\\');
                p += n;
            }
        } else if (*p == '"') {
            quoted = !quoted;
            ++p;
        } else {
            arg += *p++;
        }
    }
    return arg;
}

constexpr char kUsage[] =
    "usage: sorrel [--mothballed] [--filth] [--tales] [--logs] [--dead] [--all] [--report] [SAVE.rws ...]\n"
    "Cleans RimWorld saves: keeps, in the list of living world pawns, the faction leaders and\n"
    "the pawns the save still holds elsewhere, and writes each result beside its save as\n"
    "NAME-A.rws. The save itself is only read. With no save given, asks for one.\n"
    "  --mothballed  clean the mothballed world pawns too (the game's list of pawns it no\n"
    "                longer updates): keep there only the leaders and the held pawns\n"
    "Each of these removes only what nothing the output keeps names:\n"
    "  --filth       filth on the maps (dirt, blood, vomit, spilt fuel)\n"
    "  --tales       tales (art then describes only the tales it names)\n"
    "  --logs        the play log, the battle log and the archive of letters and messages\n"
    "                (the history and combat log tabs start empty)\n"
    "  --dead        dead world pawns (the game forgets the dead nobody remembers)\n"
    "  --all         the four above (measured: a 0.18 save of 0.54 MB left 0.50 MB without\n"
    "                options, 0.21 MB with --all; a 1.5 save of 2.59 MB, 2.59 and 2.33 MB)\n"
    "  --report      clean nothing: tell what the save holds and what each option would remove\n"
    "  --help        this text\n"
    "  --version     the program's version\n"
    "  --            what follows are saves, even when it begins with \"-\"\n";
constexpr char kVersion[] = "Sorrel 1.4.1.0\n";

void Print(int stream, const std::string& text) { platform::slots.WriteStandardStream(stream, text.c_str()); }

// The last part of a path as the system wrote it, after its last "/" (never half of a GBK
// character; a backslash is an ordinary character of a Linux name).
std::string FileName(const std::string& path) {
    size_t cut = path.rfind('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// "1 leader", "6 leaders".
std::string Counted(int64_t n, const std::string& noun, const std::string& nouns = "") {
    return std::to_string(n) + " " + (n == 1 ? noun : nouns.empty() ? noun + "s" : nouns);
}

// "; 980 filth items, 3 tales removed" for the kinds asked for, or nothing.
std::string ExtrasRemoved(const cleaner::PruneCounts& c) {
    std::string parts;
    for (const cleaner::ExtraKindRow& row : cleaner::kExtraKindRows) {
        const cleaner::ExtraCount& count = c.extras[static_cast<size_t>(row.kind)];
        if (count.items >= 0) parts += (parts.empty() ? "" : ", ") + Counted(count.items, row.noun[0], row.noun[1]);
    }
    return parts.empty() ? "" : "; " + parts + " removed";
}

// "6 leaders", or, where none is in the living list, "5 leaders, in the mothballed list".
std::string Leaders(const cleaner::PruneCounts& c) {
    if (c.leaders == 0 && c.asleep_leaders > 0) return Counted(c.asleep_leaders, "leader") + ", in the mothballed list";
    return Counted(c.leaders, "leader");
}

// "Colony.rws: 104.9 MB -> Colony-A.rws 2.8 MB (6 leaders, 3 held pawns; 12 living and 380
// mothballed pawns removed)", the mothballed count only where that list was cleaned.
std::string Summary(const std::string& save, const cleaner::CleanReport& r) {
    if (!r.written()) return FileName(save) + ": not written\n";
    const cleaner::PruneCounts& c = r.counts;
    const std::string removed =
        c.mothballed_removed >= 0
            ? std::to_string(c.living_removed) + " living and " + std::to_string(c.mothballed_removed) + " mothballed pawns"
            : Counted(c.living_removed, "living pawn");
    return FileName(save) + ": " + cleaner::SizeText(r.input_size) + " -> " + FileName(r.output.get()) + " " + cleaner::SizeText(r.output_size) +
           " (" + Leaders(c) + ", " + Counted(c.held, "held pawn") + "; " + removed + " removed" +
           ExtrasRemoved(c) + ")\n";
}

}  // namespace

bool ReportSave(const std::string& save_path) {
    const cleaner::SaveMeasure m = cleaner::MeasureSave(save_path.c_str());
    if (!m.read) return false;
    if (m.halt == cleaner::Halt::kNoSave) {  // no save at all: the box the run would show, no more
        cleaner::Pruned none;
        none.halt = m.halt;
        cleaner::ShowOutcome(none, save_path.c_str());
        return false;
    }
    const bool console = platform::kConsoleProgram;
    struct Row {
        const char* name[2];  // Linux, Windows
        const char* option;
        cleaner::Holding holds, removed;
    };
    std::vector<Row> rows = {
        {{"living world pawns", "存活的世界人物"}, "", m.living, m.living_removed},
        {{"mothballed pawns", "休眠的世界人物"}, "--mothballed", m.mothballed, m.mothballed_removed},
    };
    for (cleaner::Extra kind : cleaner::ReportOrder()) {
        const auto k = static_cast<size_t>(kind);
        const cleaner::ExtraKindRow& row = cleaner::kExtraKindRows[k];
        rows.push_back({{row.report, row.label}, cleaner::OptionOf(kind), m.extras[k], m.extras_removed[k]});
    }
    // A list rewritten item by item may come out a few bytes longer than it went in: nothing
    // removed, never "-0.00".
    const auto mb = [](int64_t bytes) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", static_cast<double>(std::max<int64_t>(bytes, 0)) / (1024.0 * 1024.0));
        return std::string(text);
    };
    // What no option removes: the rows then add up to the file.
    int64_t rest = m.size;
    for (const Row& r : rows) rest -= r.holds.bytes;
    const struct Together {
        const char* option;
        cleaner::Holding removed;
    } together[] = {{"--all", m.all_removed}, {"--all --mothballed", m.everything_removed}};
    const bool writes = m.halt == cleaner::Halt::kNone;
    // Where the run would write nothing, the box it would show, as the run shows it.
    const runtime::OwnedText halt = cleaner::HaltText(m.halt, save_path.c_str());
    std::string text;
    if (console) {
        char line[160];
        std::string box = writes ? "" : std::string(halt.get());
        for (size_t at; (at = box.find("\r\n")) != std::string::npos;) box.replace(at, 2, "\n");
        text = FileName(save_path) + ": " + cleaner::SizeText(m.size) +
               (writes ? "" : "; the run would write nothing, and show the box\n[错误] " + box) +
               "\n                     items        MB    removed        MB   by\n";
        for (const Row& r : rows) {
            std::snprintf(line, sizeof line, "%-18s %8d %9s   %8s %9s   %s\n", r.name[0], r.holds.items, mb(r.holds.bytes).c_str(),
                          writes ? std::to_string(r.removed.items).c_str() : "-", writes ? mb(r.removed.bytes).c_str() : "-",
                          *r.option != '\0' ? r.option : "every run");
            text += line;
        }
        std::snprintf(line, sizeof line, "%-18s %8s %9s   %8s %9s   %s\n", "the rest", "", mb(rest).c_str(), "-", "-",
                      "no option");
        text += line;
        for (const Together& t : together) {
            std::snprintf(line, sizeof line, "%-18s %8s %9s   %8s %9s   %s\n", "together", "", "",
                          writes ? std::to_string(t.removed.items).c_str() : "-", writes ? mb(t.removed.bytes).c_str() : "-",
                          t.option);
            text += line;
        }
        Print(platform::kStandardOutput, text);
        return writes;
    }
    text = "存档大小：" + mb(m.size) + " MB\r\n";
    for (const Row& r : rows) {
        text += std::string(r.name[1]) + "：" + std::to_string(r.holds.items) + " 项，" + mb(r.holds.bytes) + " MB";
        if (writes) {
            text += std::string("；") + (*r.option != '\0' ? r.option : "默认清理") + " 移除 " + std::to_string(r.removed.items) +
                    " 项，" + mb(r.removed.bytes) + " MB";
        }
        text += "\r\n";
    }
    text += "其余部分（任何选项都不删除）：" + mb(rest) + " MB\r\n";
    for (const Together& t : together)
        if (writes) text += std::string(t.option) + " 共移除 " + std::to_string(t.removed.items) + " 项，" + mb(t.removed.bytes) + " MB\r\n";
    if (!writes) text += std::string("此存档无法清理，清理时会显示：\r\n") + halt.get() + "\r\n";
    runtime::ShowMessage({runtime::OfText(text.c_str()), runtime::OfInt32(0), runtime::OfText("存档分析")});
    return writes;
}

void ReadSettings(cleaner::CleanOptions& options) {
    bool read = true;
    const auto on = [&read](const char* key) {
        uint32_t value = 0;
        read = platform::slots.GetOwnProfileInt("sorrel.ini", "options", key, 0, &value) != 0 && read;
        return value != 0;
    };
    options.mothballed = options.mothballed || on("mothballed");
    for (const cleaner::ExtraOptionRow& row : cleaner::kExtraOptionRows)
        if (on(row.key)) cleaner::Ask(row.kinds, options.extras);
    options.settings_unread = !read;
}

void TellLeftBehind(const cleaner::CleanReport& report) {
    if (platform::kConsoleProgram && report.left_behind != nullptr)
        Print(platform::kStandardError,
              "sorrel: the partial output could not be removed: " + std::string(report.left_behind.get()) + "\n");
}

std::vector<std::string> SplitArguments(const char* line) {
    std::vector<std::string> args;
    const char* p = line == nullptr ? "" : line;
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') return args;
        args.push_back(TakeArgument(p));
    }
}

int CleanArguments(const std::vector<std::string>& args, cleaner::CleanOptions& clean) {
    std::vector<std::string> saves;
    bool options = platform::kConsoleProgram;
    for (const std::string& a : args) {
        // On Windows these options stand among the saves: a shortcut's target ends in them.
        const bool option = options || !platform::kConsoleProgram;
        const auto extra = std::find_if(std::begin(cleaner::kExtraOptionRows), std::end(cleaner::kExtraOptionRows),
                                        [&a](const cleaner::ExtraOptionRow& row) { return a == row.option; });
        if (a == kMothballedOption && option) {
            clean.mothballed = true;
        } else if (extra != std::end(cleaner::kExtraOptionRows) && option) {
            cleaner::Ask(extra->kinds, clean.extras);
        } else if (a == kReportOption && option) {
            clean.report = true;
        } else if (options && a == "--") {
            options = false;
        } else if (options && a.size() > 1 && a[0] == '-') {
            if (a == "--help") return Print(platform::kStandardOutput, kUsage), 0;
            if (a == "--version") return Print(platform::kStandardOutput, kVersion), 0;
            Print(platform::kStandardError, "sorrel: unknown option " + a + "\n" + kUsage);
            return 2;
        } else {
            saves.push_back(a);
        }
    }
    if (saves.empty()) return kShowPicker;
    int status = 0;
    for (const std::string& save : saves) {
        // An empty argument names no save. The Windows program says so as of any name that
        // names nothing (the missing-save box, from the open); the Linux program, which also
        // puts one where the system's argument has no GBK form, on standard error.
        if (save.empty() && platform::kConsoleProgram) {
            Print(platform::kStandardError, "sorrel: an empty argument names no save; not cleaned\n");
            status = 1;
            continue;
        }
        if (clean.report) {
            if (!ReportSave(save)) status = 1;
            continue;
        }
        cleaner::CleanReport report = cleaner::CleanSave(save.c_str(), clean);
        if (!report.written()) status = 1;
        if (platform::kConsoleProgram) Print(platform::kStandardError, Summary(save, report));
        TellLeftBehind(report);
    }
    return status;
}

}  // namespace app
