// The kinds of extra items the options remove, one row each, and the options that ask for
// them: every name the program gives them, in one place. app/ (the options, the settings, the
// Linux summary and report) and cleaner/ (the box of what was removed) read these rows; a new
// kind is a row of each table, a new option one row of the second.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "cleaner/save_index.h"
#include "cleaner/shrink.h"

namespace cleaner {

struct ExtraKindRow {
    Extra kind;
    const char* noun[2];  // the Linux summary's: one, several
    const char* report;   // the Linux report's row
    const char* label;    // the boxes' (GBK, as every text of the program)
    uint8_t report_at;    // the place of that row among the kinds' rows, from 0
};

// In the order of Extra.
inline constexpr ExtraKindRow kExtraKindRows[] = {
    {Extra::kFilth, {"filth item", "filth items"}, "filth", "污物", 1},
    {Extra::kTale, {"tale", "tales"}, "tales", "故事", 2},
    {Extra::kLog, {"log entry", "log entries"}, "logs", "日志", 3},
    {Extra::kDead, {"dead pawn", "dead pawns"}, "dead world pawns", "死亡的世界人物", 0},
};
static_assert(std::size(kExtraKindRows) == kExtraKinds, "a row for each kind");
constexpr bool KindsInOrder() {
    unsigned places = 0;
    for (size_t i = 0; i < kExtraKinds; ++i) {
        if (static_cast<size_t>(kExtraKindRows[i].kind) != i || kExtraKindRows[i].report_at >= kExtraKinds) return false;
        places |= 1u << kExtraKindRows[i].report_at;
    }
    return places == (1u << kExtraKinds) - 1;
}
static_assert(KindsInOrder(), "the rows in the order of Extra, each with a place of its own in the report");

// The kinds in the report's order.
constexpr std::array<Extra, kExtraKinds> ReportOrder() {
    std::array<Extra, kExtraKinds> order{};
    for (const ExtraKindRow& row : kExtraKindRows) order[row.report_at] = row.kind;
    return order;
}

// The kinds an option asks for, a bit each (1 << Extra).
using ExtraMask = uint32_t;
constexpr ExtraMask Kind(Extra kind) { return ExtraMask{1} << static_cast<unsigned>(kind); }
constexpr ExtraMask kEveryKind = (ExtraMask{1} << kExtraKinds) - 1;

struct ExtraOptionRow {
    const char* option;  // on the command line, and as a shortcut's target ends
    const char* key;     // in sorrel.ini's [options]
    ExtraMask kinds;
};

inline constexpr ExtraOptionRow kExtraOptionRows[] = {
    {"--filth", "filth", Kind(Extra::kFilth)},
    {"--tales", "tales", Kind(Extra::kTale)},
    {"--logs", "logs", Kind(Extra::kLog)},
    {"--dead", "dead", Kind(Extra::kDead)},
    {"--all", "all", kEveryKind},
};

// The option that asks for `kind` alone.
constexpr const char* OptionOf(Extra kind) {
    for (const ExtraOptionRow& row : kExtraOptionRows)
        if (row.kinds == Kind(kind)) return row.option;
    return "";
}

// The kinds `mask` names, asked for in `extras`.
inline void Ask(ExtraMask mask, ExtraKinds& extras) {
    for (size_t kind = 0; kind < kExtraKinds; ++kind)
        if (mask & (ExtraMask{1} << kind)) extras[kind] = true;
}

}  // namespace cleaner
