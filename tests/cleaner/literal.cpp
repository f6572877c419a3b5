#include "tests/cleaner/literal.h"

#include <cstring>

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

void Box(const std::string& text, const char* title = nullptr) {
    if (title == nullptr) ShowMessage({OfText(text.c_str())});
    else ShowMessage({OfText(text.c_str()), OfInt32(0), OfText(title)});
}

std::vector<std::string> Leaders(const std::string& file) {
    int32_t s = Find(file, "<factionManager>", 1);
    int32_t e = Find(file, "</factionManager>", 1);
    std::string section = UntilNul(Mid(file, s, int64_t{e} - s + 17));
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

}  // namespace

Run Clean(ConstByteSet file_bytes, int64_t pass_budget) {
    Run run;
    const std::string file = Of(file_bytes);
    std::vector<std::string> ids = Leaders(file);

    int32_t a = Find(file, "<pawnsAlive", 1);
    int32_t z = Find(file, "</pawnsAlive", 1);
    std::string bytes = Mid(file, a, int64_t{z} - a + 13);
    Pruning pr{UntilNul(bytes), 0, pass_budget};
    pr.slen = static_cast<int32_t>(pr.text.size());

    if (ids.empty()) {
        Box("错误信息：未找到帮派首领信息", "错误");
        return run;
    }
    if (!(a > 0 && z > a)) {
        Box("错误信息：未找到世界人物列表", "错误");
        return run;
    }

    const int32_t n = static_cast<int32_t>(ids.size());
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
            return run;
        }
        int32_t e0 = b + 5;
        int32_t r = pr.EntryEnd(e0);
        run.endless = run.endless || pr.endless;
        std::string entry = Mid(bytes, e0, int64_t{r} + 5 - e0);
        run.pieces.push_back(entry);
        kept += "\r\n\t\t\t\t\t" + entry;
        taken = taken + 1;
        if (UntilNul(entry).size() < 300) {
            Owned<char> number(ToText({OfInt32(taken)}));
            Box("首领数据获取第：" + std::string(number.get()) + "获取出错");
        }
        if (i == n) break;
        int32_t next = i + 1;
        for (; next <= n; ++next) {
            p = pr.F(("<id>" + ids[next - 1] + "</id>").c_str(), 1);
            if (p != -1) break;
        }
        i = next;
    }
    if (taken < n) {
        Owned<char> total(ToText({OfInt32(n)}));
        Owned<char> got(ToText({OfInt32(taken)}));
        Box("总首领数：" + std::string(total.get()) + "\r\n成功获取的首领数：" + got.get() +
                "\r\n不影响游戏正常运行\r\n请联系作者修复！",
            "提示：首领信息缺失");
    }
    run.written = true;
    run.output = file.substr(0, std::min<size_t>(file.size(), static_cast<size_t>(a) + 12)) + kept +
                 "\r\n\t\t\t\t<" + file.substr(static_cast<size_t>(z));
    return run;
}

}  // namespace literal
