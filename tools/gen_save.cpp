// gen_save: writes a sample save.
//   gen_save OUT [--size N[K|M]] [--pawns N] [--leaders N] [--seed N] [--cjk] [--lf] [--far-marker]
//                [--compact] [--spaces] [--empty-items] [--leader-twice] [--odd-spellings] [--mothballed N]
//                [--caravan N] [--pods N] [--kidnapped N] [--quest N] [--extras N] [--chain N]
//                [--ref-leader] [--ref-nested] [--ref-missing] [--ref-swallowed]
//   gen_save OUT --odd-markup [--pawns N] [--seed N] [--shift N]   (odd_save.h)
//   gen_save OUT --grow SAVE [--size N[K|M]]   (grown_save.h)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/grown_save.h"
#include "tools/odd_save.h"
#include "tools/sample_save.h"

namespace {

int Usage() {
    std::fputs("usage: gen_save OUT [--size N[K|M]] [--pawns N] [--leaders N] [--seed N] [--cjk] [--lf] [--far-marker]\n"
               "                [--compact] [--spaces] [--empty-items] [--leader-twice] [--odd-spellings] [--mothballed N]\n"
               "                [--caravan N] [--pods N] [--kidnapped N] [--quest N] [--extras N] [--chain N]\n"
               "                [--ref-leader] [--ref-nested] [--ref-missing] [--ref-swallowed]\n"
               "       gen_save OUT --odd-markup [--pawns N] [--seed N] [--shift N]\n"
               "       gen_save OUT --grow SAVE [--size N[K|M]]\n",
               stderr);
    return 2;
}

bool ReadNumber(const char* text, int64_t* n) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || v < 0) return false;
    if (*end == 'K' || *end == 'k') v <<= 10, ++end;
    else if (*end == 'M' || *end == 'm') v <<= 20, ++end;
    *n = v;
    return *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    tools::SampleOptions o;
    bool odd_markup = false;
    int64_t shift = 0;
    std::string grow;  // a save to grow
    // Switches: the option each sets, and to what.
    const struct {
        const char* name;
        bool* option;
        bool value;
    } switches[] = {{"--cjk", &o.cjk, true},
                    {"--lf", &o.crlf, false},
                    {"--compact", &o.compact, true},
                    {"--spaces", &o.spaces, true},
                    {"--empty-items", &o.empty_items, true},
                    {"--leader-twice", &o.leader_twice, true},
                    {"--odd-spellings", &o.odd_spellings, true},
                    {"--odd-markup", &odd_markup, true},
                    {"--far-marker", &o.far_marker, true},
                    {"--ref-leader", &o.ref_leader, true},
                    {"--ref-nested", &o.ref_nested, true},
                    {"--ref-missing", &o.ref_missing, true},
                    {"--ref-swallowed", &o.ref_swallowed, true}};
    for (int i = 2; i < argc; ++i) {
        std::string flag = argv[i];
        int64_t n = 0;
        auto to = std::find_if(std::begin(switches), std::end(switches), [&flag](const auto& s) { return flag == s.name; });
        if (to != std::end(switches)) {
            *to->option = to->value;
        } else if (flag == "--grow" && i + 1 < argc) {
            grow = argv[++i];
        } else if (i + 1 < argc && ReadNumber(argv[i + 1], &n)) {
            ++i;
            if (flag == "--size") o.size = n;
            else if (flag == "--pawns") o.pawns = static_cast<int32_t>(n);
            else if (flag == "--leaders") o.leaders = static_cast<int32_t>(n);
            else if (flag == "--seed") o.seed = static_cast<uint64_t>(n);
            else if (flag == "--caravan") o.caravan = static_cast<int32_t>(n);
            else if (flag == "--pods") o.pods = static_cast<int32_t>(n);
            else if (flag == "--kidnapped") o.kidnapped = static_cast<int32_t>(n);
            else if (flag == "--quest") o.quest = static_cast<int32_t>(n);
            else if (flag == "--mothballed") o.mothballed = static_cast<int32_t>(n);
            else if (flag == "--extras") o.extras = static_cast<int32_t>(n);
            else if (flag == "--chain") o.chain = static_cast<int32_t>(n);
            else if (flag == "--shift") shift = n;
            else return Usage();
        } else {
            return Usage();
        }
    }
    std::string save;
    if (!grow.empty()) {
        std::ifstream in(grow, std::ios::binary);
        save = tools::GrownSave(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), o.size);
        if (save.empty()) {
            std::fprintf(stderr, "gen_save: %s holds no list of living world pawns to grow\n", grow.c_str());
            return 1;
        }
    } else {
        save = odd_markup ? tools::OddSave({o.seed, static_cast<int32_t>(shift), o.pawns}) : tools::GenerateSave(o);
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(save.data(), static_cast<std::streamsize>(save.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "gen_save: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
