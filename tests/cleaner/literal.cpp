#include "tests/cleaner/literal.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "runtime/array.h"
#include "runtime/files.h"
#include "runtime/format.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace literal {

namespace {

using namespace runtime;

std::string Of(ConstByteSet b) {
    return b == nullptr ? std::string()
                        : std::string(reinterpret_cast<const char*>(BytesData(b)), static_cast<size_t>(b->length));
}

// FindText's rules with exact bytes, on the whole text.
int32_t Find(const std::string& text, const std::string& sought, int64_t start) {
    if (start < 1) start = 1;
    if (start > static_cast<int64_t>(text.size())) return -1;
    size_t at = text.find(sought, static_cast<size_t>(start - 1));
    return at == std::string::npos ? -1 : static_cast<int32_t>(at + 1);
}

std::string Mid(const std::string& s, int64_t start, int64_t count) {  // MidBytes's rules
    if (start < 1) start = 1;
    if (count < 1 || start > static_cast<int64_t>(s.size())) return {};
    return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count));
}

std::string UntilNul(const std::string& s) { return s.substr(0, s.find('\0')); }

void Show(const std::vector<Shown>& boxes) {
    for (const Shown& b : boxes) {
        if (b.title == nullptr) ShowMessage({OfText(b.text.c_str())});
        else ShowMessage({OfText(b.text.c_str()), OfInt32(0), OfText(b.title)});
    }
}

std::string Decimal(int32_t n) {
    Owned<char> text(ToText({OfInt32(n)}));
    return text.get();
}

std::string ShortBox(int32_t taken) { return "首领数据获取第：" + Decimal(taken) + "获取出错"; }

Shown MissingBox(int32_t n, int32_t taken) {
    return {"总首领数：" + Decimal(n) + "\r\n成功获取的首领数：" + Decimal(taken) +
                "\r\n不影响游戏正常运行\r\n请联系作者修复！",
            "提示：首领信息缺失"};
}

bool Space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Factions(const std::string& file) {
    int32_t s = Find(file, "<factionManager>", 1);
    int32_t e = Find(file, "</factionManager>", 1);
    return UntilNul(Mid(file, s, int64_t{e} - s + 17));
}

std::vector<std::string> Leaders(const std::string& file) {
    std::string section = Factions(file);
    std::vector<std::string> ids;
    int32_t p = Find(section, "<leader>Thing_", 1);
    while (p != -1) {
        p = p + 14;
        int32_t t = Find(section, "</leader>", p - 500);
        ids.push_back(t - p < 1 || p < 1 ? std::string() : Mid(section, p, t - p));
        p = Find(section, "<leader>Thing_", p + 10);
    }
    return ids;
}

// From the first `open` at or after `from` through the end of the first `close` after it;
// empty when either is missing. `*next` is where the next region is looked for, or -1.
std::string Region(const std::string& in, const std::string& open, const std::string& close, int64_t from = 1,
                   int64_t* next = nullptr) {
    int32_t s = Find(in, open, from);
    int32_t e = s == -1 ? -1 : Find(in, close, int64_t{s} + static_cast<int64_t>(open.size()));
    if (next != nullptr) *next = e == -1 ? -1 : e + static_cast<int64_t>(close.size());
    return e == -1 ? std::string() : Mid(in, s, e + static_cast<int64_t>(close.size()) - s);
}

void References(const std::string& region, std::set<std::string>& ids) {
    for (int32_t q = Find(region, ">Thing_", 1); q != -1; q = Find(region, ">Thing_", int64_t{q} + 1)) {
        int32_t end = Find(region, "<", int64_t{q} + 7);
        if (end == -1) break;
        if (end > q + 7) ids.insert(Mid(region, q + 7, end - (q + 7)));
    }
}

std::set<std::string> HeldIds(const std::string& file, const std::string& factions) {
    std::set<std::string> ids;
    References(Region(file, "<worldObjects>", "</worldObjects>"), ids);
    for (int64_t from = 1; from != -1;) References(Region(factions, "<kidnappedPawns>", "</kidnappedPawns>", from, &from), ids);
    References(Region(file, "<questManager>", "</questManager>"), ids);
    References(Region(file, "<pawnsForcefullyKeptAsWorldPawns>", "</pawnsForcefullyKeptAsWorldPawns>"), ids);
    return ids;
}

struct Item {
    int64_t start, end;  // 1-based; end is the byte after the item's "</li>"
    std::string id;
    bool has_id;
};

// The top-level items of the list, byte by byte.
std::vector<Item> TopLevelItems(const std::string& text) {
    std::vector<Item> items;
    Item item{};
    int depth = 0;
    bool seeking = false;
    for (size_t i = 0; i < text.size();) {
        auto at = [&](const char* s) { return text.compare(i, std::strlen(s), s) == 0; };
        if (at("<li>") || at("<li ")) {
            size_t gt = text.find('>', i + 3);
            if (gt == std::string::npos) break;
            if (text[gt - 1] != '/') {
                if (depth == 0) item = {static_cast<int64_t>(i) + 1, 0, "", false};
                seeking = depth == 0;
                depth = depth + 1;
            }
            i = gt + 1;
        } else if (at("</li>")) {
            if (depth > 0) {
                depth = depth - 1;
                if (depth == 0) {
                    item.end = static_cast<int64_t>(i) + 6;
                    items.push_back(item);
                    seeking = false;
                }
            }
            i = i + 5;
        } else if (seeking && at("<id>")) {
            seeking = false;
            size_t e = text.find("</id>", i + 4);
            if (e != std::string::npos) item = {item.start, 0, text.substr(i + 4, e - (i + 4)), true};
            i = i + 4;
        } else {
            i = i + 1;
        }
    }
    return items;
}

struct Pruning {
    std::string text;  // the section text
    int32_t slen;
    int64_t budget;
    bool endless = false;

    int32_t F(const char* sought, int64_t start) { return Find(text, sought, start); }

    // -1 stands for the end of the process (error code 01).
    int32_t EntryStart(int32_t p) {
        int32_t r = F("</li>", p);
        int32_t j = 0;
        while (r < 0 || r > p) {
            j = j + 1;
            if (p - j < 0) return 12;
            r = F("</li>", p - j);
            if (j > 10000) return -1;
        }
        return r;
    }

    int32_t EntryEnd(int32_t e0) {
        int32_t e = e0, o = e0 + 50, d = 0, v = 0, k = 0, g = 0, h = 0;
        int64_t steps = 0;
        for (;;) {
            if (++steps > budget) return OutOfPasses();
            e = F("</li>", int64_t{e} + 1);
            o = F("<li>", int64_t{o} + 1);
            if (!(o <= e)) {
                v = v + 1;
                if (e == -1 && d > 0) return slen - 17;
                if (v > 1) {
                    d = d - 1;
                    k = F("<li Class", int64_t{k} + 1);
                } else {
                    k = F("<li Class", int64_t{e0} + 80);
                }
                g = F(">", int64_t{k} + 1);
                h = F("/>", int64_t{k} + 1);
                while (k < e) {
                    if (++steps > budget) return OutOfPasses();
                    if (g < h) {
                        e = F("</li>", int64_t{e} + 1);
                        d = d + 1;
                        break;
                    }
                    k = F("<li Class", int64_t{k} + 1);
                    g = F(">", int64_t{k} + 1);
                    h = F("/>", int64_t{k} + 1);
                }
            }
            if (o < e || d > 0) continue;
            return e;
        }
    }

    int32_t OutOfPasses() {
        endless = true;
        return slen - 17;
    }
};

// A piece the steps keep: its bytes, where it starts in the section, and the leader it was
// cut for, if any.
struct Piece {
    std::string bytes;
    int64_t start;
    bool is_leader;
    std::string leader;
};

struct Steps {
    Run run;
    std::vector<Piece> pieces;
    bool nul = false;          // the list holds a NUL byte
    std::vector<bool> found;   // by leader: an entry was cut for it
};

// The steps as the program always took them: markers, entry cuts, held items after them.
Steps Literal(ConstByteSet file_bytes, int64_t pass_budget) {
    Steps steps;
    Run& run = steps.run;
    const std::string file = Of(file_bytes);
    std::vector<std::string> ids = Leaders(file);

    int32_t a = Find(file, "<pawnsAlive", 1);
    int32_t z = Find(file, "</pawnsAlive", 1);
    std::string bytes = Mid(file, a, int64_t{z} - a + 13);
    Pruning pr{UntilNul(bytes), 0, pass_budget};
    pr.slen = static_cast<int32_t>(pr.text.size());
    steps.nul = pr.text.size() != bytes.size();

    if (ids.empty()) {
        run.boxes.push_back({"错误信息：未找到帮派首领信息", "错误"});
        return steps;
    }
    if (!(a > 0 && z > a && bytes.compare(0, 12, "<pawnsAlive>") == 0)) {
        run.boxes.push_back({"错误信息：未找到世界人物列表", "错误"});
        return steps;
    }

    const int32_t n = static_cast<int32_t>(ids.size());
    steps.found.assign(ids.size(), false);
    std::string kept;
    int32_t taken = 0;
    int32_t i = 1, p = -1;
    for (; i <= n; ++i) {
        p = pr.F(("<id>" + ids[i - 1] + "</id>").c_str(), 1);
        if (p != -1) break;
    }
    while (i <= n) {
        int32_t b = pr.EntryStart(p);
        if (b == -1) {
            run.lost = true;
            run.boxes.push_back({"错误代码：01", "错误"});
            return steps;
        }
        int32_t e0 = b + 5;
        int32_t r = pr.EntryEnd(e0);
        run.endless = run.endless || pr.endless;
        std::string entry = Mid(bytes, e0, int64_t{r} + 5 - e0);
        kept += "\r\n\t\t\t\t\t" + entry;
        steps.pieces.push_back({entry, e0, true, ids[i - 1]});
        steps.found[i - 1] = true;
        taken = taken + 1;
        if (UntilNul(entry).size() < 300) run.boxes.push_back({ShortBox(taken), nullptr});
        if (i == n) break;
        int32_t next = i + 1;
        for (; next <= n; ++next) {
            p = pr.F(("<id>" + ids[next - 1] + "</id>").c_str(), 1);
            if (p != -1) break;
        }
        i = next;
    }
    run.taken = taken;
    std::set<std::string> held = HeldIds(file, Factions(file));
    for (const std::string& id : ids) held.erase(id);
    std::set<std::string> seen;
    for (const Item& item : TopLevelItems(pr.text)) {
        if (!item.has_id || held.count(item.id) == 0 || !seen.insert(item.id).second) continue;
        run.held = run.held + 1;
        std::string piece = Mid(bytes, item.start, item.end - item.start);
        steps.pieces.push_back({piece, item.start, false, ""});
        kept += "\r\n\t\t\t\t\t" + piece;
    }
    run.written = true;
    run.output = file.substr(0, std::min<size_t>(file.size(), static_cast<size_t>(a) + 12)) + kept +
                 "\r\n\t\t\t\t<" + file.substr(static_cast<size_t>(z));
    return steps;
}

// The items the list must hold: each leader's first item, once, in leader order (each
// leader id that has one counted, a short one told by that count), then the held items.
using Spans = std::vector<std::pair<int64_t, int64_t>>;  // [start, end), in one numbering

struct Whole {
    std::vector<std::string> items;
    Spans spans;                  // where each item stands in the list's content
    std::vector<Shown> boxes;
    std::vector<bool> found;      // by leader
    int32_t taken = 0;
    int32_t held = 0;
    std::vector<Item> all;        // every top-level item of the list
};

Whole WholeItems(const std::string& content, const std::vector<std::string>& ids, const std::set<std::string>& held) {
    Whole w;
    w.all = TopLevelItems(content);
    w.found.assign(ids.size(), false);
    std::set<int64_t> written;
    for (size_t i = 0; i < ids.size(); ++i) {
        for (const Item& item : w.all) {
            if (!item.has_id || item.id != ids[i]) continue;
            w.taken = w.taken + 1;
            w.found[i] = true;
            if (written.insert(item.start).second) {
                w.items.push_back(Mid(content, item.start, item.end - item.start));
                w.spans.push_back({item.start, item.end});
                if (UntilNul(w.items.back()).size() < 300) w.boxes.push_back({ShortBox(w.taken), nullptr});
            }
            break;
        }
    }
    std::set<std::string> seen;
    for (const Item& item : w.all) {
        if (!item.has_id || held.count(item.id) == 0 || !seen.insert(item.id).second) continue;
        w.items.push_back(Mid(content, item.start, item.end - item.start));
        w.spans.push_back({item.start, item.end});
        w.held = w.held + 1;
    }
    return w;
}

// Those items, each behind a line break and five tabs, then a line break and four tabs.
std::string ItemByItem(const Whole& w) {
    std::string out;
    for (const std::string& item : w.items) out += "\r\n\t\t\t\t\t" + item;
    return out + "\r\n\t\t\t\t";
}

// The one whole item of `piece` with nothing but whitespace around it: its start in the
// piece (from 1) and its bytes; start 0 when there is none.
Item SoleItem(const std::string& piece) {
    size_t from = 0, to = piece.size();
    while (from < to && Space(piece[from])) from = from + 1;
    while (to > from && Space(piece[to - 1])) to = to - 1;
    std::vector<Item> items = TopLevelItems(piece.substr(from, to - from));
    if (items.size() != 1 || items[0].start != 1 || items[0].end != static_cast<int64_t>(to - from) + 1) return {};
    Item item = items[0];
    item.start = item.start + static_cast<int64_t>(from);
    item.end = item.end + static_cast<int64_t>(from);
    return item;
}

// Every piece the steps cut for a leader is whitespace around the leader's own whole item,
// and no two pieces share a byte.
bool CutsAreWholeItems(const std::vector<Piece>& pieces) {
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const Piece& piece : pieces) {
        Item item = SoleItem(piece.bytes);
        if (item.start == 0) return false;
        if (piece.is_leader && !(item.has_id && item.id == piece.leader)) return false;
        spans.push_back({piece.start + item.start - 1, piece.start + item.end - 1});
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first < spans[i - 1].second) return false;
    return true;
}


// A list between `open` and `close` after `from`: the offsets of its content, npos when
// either tag is missing.
std::pair<size_t, size_t> ListContent(const std::string& file, const std::string& open, const std::string& close,
                                      size_t from) {
    size_t start = file.find(open, from);
    if (start == std::string::npos) return {start, start};
    size_t end = file.find(close, start + open.size());
    return {end == std::string::npos ? end : start + open.size(), end};
}

}  // namespace

Run Clean(ConstByteSet file_bytes, bool mothballed, int64_t pass_budget) {
    Steps steps = Literal(file_bytes, pass_budget);
    Run& run = steps.run;
    if (!run.written) {
        Show(run.boxes);
        return run;
    }
    const std::string file = Of(file_bytes);
    const size_t a = file.find("<pawnsAlive"), z = file.find("</pawnsAlive");
    const size_t head = a + 12;  // through the ">" of "<pawnsAlive>"
    std::set<std::string> held = HeldIds(file, Factions(file));
    std::vector<std::string> ids = Leaders(file);
    for (const std::string& id : ids) held.erase(id);
    const std::string content = file.substr(head, z - head);
    Whole whole = WholeItems(content, ids, held);

    // The cuts stand where each is whitespace around its leader's own item; never where a NUL
    // hides part of the list from them. The living list's content, as written, and the
    // spans (in the content's numbering) of what it keeps.
    const bool sound = !steps.nul && Space(file[head]) && CutsAreWholeItems(steps.pieces);
    std::string living = ItemByItem(whole);
    Spans written = whole.spans;
    std::vector<bool> found = steps.found;
    if (sound) {
        living = run.output.substr(head + 1, run.output.size() - (file.size() - z) - head - 1);
        written.clear();
        for (const Piece& piece : steps.pieces)
            written.push_back({piece.start - 12, piece.start - 12 + static_cast<int64_t>(piece.bytes.size())});
    } else {
        run.whole = true;
        run.boxes = whole.boxes;
        run.held = whole.held;
        run.taken = whole.taken;
        found = whole.found;
    }

    // A leader counts as found in the mothballed list too; with `mothballed` that list is
    // rebuilt item by item like the living one.
    auto [m_from, m_to] = ListContent(file, "<pawnsMothballed>", "</pawnsMothballed>", z);
    const bool has_mothballed = m_to != std::string::npos;
    const std::string asleep = has_mothballed ? file.substr(m_from, m_to - m_from) : "";
    Whole cleaned = WholeItems(asleep, ids, held);
    int32_t taken = run.taken;
    for (size_t i = 0; i < ids.size(); ++i) taken = taken + (!found[i] && cleaned.found[i] ? 1 : 0);
    if (taken < static_cast<int32_t>(ids.size())) run.boxes.push_back(MissingBox(static_cast<int32_t>(ids.size()), taken));

    const std::string before = file.substr(0, sound ? head + 1 : head);
    run.output = before + living + (mothballed && has_mothballed
                                        ? file.substr(z, m_from - z) + ItemByItem(cleaned) + file.substr(m_to)
                                        : file.substr(z));
    Show(run.boxes);
    return run;
}

}  // namespace literal
