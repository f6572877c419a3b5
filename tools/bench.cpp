// bench: the whole program on generated saves and on a real one grown to 100 MB, side by
// side with cp of the same file (the floor: the program must at least read the save) and, on
// 10 MB, with the literal steps of the tests (the ceiling we left behind). Saves are generated
// once under <build>/bench.
//
//   bench [--runs N] [--only TEXT] [--baseline SORREL] [--product SORREL]
//       run from the native build folder's tools (make bench); --only keeps the cases whose
//       name holds TEXT; --baseline times another build of the program beside this one;
//       --product times a build with the product's blocks of 32 bytes (the preset blocks32)
//       on the product's kernel (SORREL_KERNEL=sse2) beside this one
//
// cp's copy is removed in the same timed command: left to be written back while the program
// runs, it would land in the program's fsync.
//
// Each timing is the median of N runs (default 7) of a fresh process; peak memory is the
// child's maximum resident set as the kernel reports it (the program reads the save through
// one small buffer, so that is all its own: code pages, the index, the buffer). "read s" is
// the save read alone (cat to /dev/null); "stage 1 MB/s" and "pass MB/s" are the rates of the
// marks of every block alone and of the whole index, in this process, over the save held in
// memory (the median of three passes).
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "cleaner/stage1/marks.h"
#include "cleaner/save_index.h"

namespace {

// The words of `text` between blanks.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// The switches "--a --b N" as "a<joint>b<joint>N".
std::string Joined(const std::string& switches, const std::string& joint) {
    std::string joined;
    for (const std::string& word : Words(switches))
        joined += (joined.empty() ? "" : joint) + word.substr(std::min(word.find_first_not_of('-'), word.size()));
    return joined;
}

struct Case {
    int mb;
    int leaders;
    bool cjk;
    int caravan = 0;     // pawns held by a caravan on the world map
    std::string layout;  // generator switches for another layout than the game's on Windows, by blanks
    std::string option;  // the program's option, if any
    bool against = true;  // timed beside the baseline, where one is given
    std::string grown;    // a real save (of ../shared/saves) grown to `mb`, instead of a generated one

    Case(int mb_, int leaders_, bool cjk_, int caravan_ = 0, std::string layout_ = "", std::string option_ = "",
         bool against_ = true)
        : mb(mb_), leaders(leaders_), cjk(cjk_), caravan(caravan_), layout(std::move(layout_)), option(std::move(option_)),
          against(against_) {}
    static Case Grown(int mb, std::string save, std::string option = "") {
        Case c(mb, 0, false, 0, "", std::move(option));
        c.grown = std::move(save);
        return c;
    }
    std::string Name() const {
        if (!grown.empty()) return std::to_string(mb) + " MB, " + grown + " grown" + (option.empty() ? "" : ", " + option);
        return std::to_string(mb) + " MB, " + std::to_string(leaders) + " leaders" + (cjk ? ", CJK" : "") +
               (caravan > 0 ? ", caravan of " + std::to_string(caravan) : "") +
               (layout.empty() ? "" : ", " + Joined(layout, " ")) + (option.empty() ? "" : ", " + option);
    }
    std::string File() const {
        if (!grown.empty()) return "grown-" + std::to_string(mb) + "m-" + grown + ".rws";
        return "save-" + std::to_string(mb) + "m-" + std::to_string(leaders) + (cjk ? "-cjk" : "") +
               (caravan > 0 ? "-caravan" + std::to_string(caravan) : "") + (layout.empty() ? "" : "-" + Joined(layout, "-")) +
               ".rws";
    }
};

struct Measure {
    double seconds;
    double peak_mb;
};

// Runs argv with `input` as standard input and the outputs discarded; SORREL_KERNEL set to
// `kernel` where one is given.
Measure Spawn(const std::vector<std::string>& argv, const std::string& input, const char* kernel = nullptr) {
    std::string feed = "/tmp/sorrel-bench-input";
    if (FILE* f = std::fopen(feed.c_str(), "w")) {
        std::fputs(input.c_str(), f);
        std::fclose(f);
    }
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(feed.c_str(), O_RDONLY), null = open("/dev/null", O_WRONLY);
        dup2(in, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (kernel != nullptr) setenv("SORREL_KERNEL", kernel, 1);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench: %s failed\n", argv[0].c_str());
        std::exit(1);
    }
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

Measure MedianOf(std::vector<Measure> all) {
    std::sort(all.begin(), all.end(), [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

Measure Median(int runs, const std::vector<std::string>& argv, const std::string& input,
               const std::string& remove_after, const char* kernel = nullptr) {
    std::vector<Measure> all;
    for (int i = 0; i < runs; ++i) {
        all.push_back(Spawn(argv, input, kernel));
        if (!remove_after.empty()) unlink(remove_after.c_str());
    }
    return MedianOf(all);
}

double FileMb(const std::string& path) {
    struct stat st{};
    stat(path.c_str(), &st);
    return static_cast<double>(st.st_size) / (1024.0 * 1024.0);
}

// Rates over the save at `path` held in memory, in MB/s, the median of three passes: stage 1
// alone (the marks and the faults of every block), and the whole index by two stages.
struct Rates {
    double stage1, pass;
};
Rates IndexRates(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto median = [&bytes](auto&& pass) {
        std::vector<double> seconds;
        for (int i = 0; i < 3; ++i) {
            const auto start = std::chrono::steady_clock::now();
            pass();
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(seconds.begin(), seconds.end());
        return static_cast<double>(bytes.size()) / (1024.0 * 1024.0) / seconds[1];
    };
    uint64_t sink = 0;
    Rates rates{};
    rates.stage1 = median([&] {
        cleaner::Carry carry;
        for (size_t at = 0; at + 192 < bytes.size(); at += cleaner::kBlockBits) {
            cleaner::Marks m;
            sink += cleaner::MarkedFaults(cleaner::ActiveKernel(), data + at, m, &carry);
        }
    });
    rates.pass = median([&] {
        cleaner::MemorySource source({data, bytes.size()});
        cleaner::SaveIndex index;
        cleaner::IndexSave(source, &index);
    });
    if (sink == 1) std::fprintf(stderr, " ");
    return rates;
}

// The rates, taken in a process of their own: the save held in memory would otherwise stay
// in this one's pages, which every program it starts afterwards counts in its peak.
Rates IndexRatesApart(const std::string& path) {
    int pipe_ends[2];
    Rates rates{};
    if (pipe(pipe_ends) != 0) return rates;
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipe_ends[0]);
        rates = IndexRates(path);
        const ssize_t written = write(pipe_ends[1], &rates, sizeof rates);
        _exit(written == static_cast<ssize_t>(sizeof rates) ? 0 : 1);
    }
    close(pipe_ends[1]);
    if (read(pipe_ends[0], &rates, sizeof rates) != static_cast<ssize_t>(sizeof rates)) rates = {};
    close(pipe_ends[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return rates;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 7;
    std::string only, baseline, product;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::string(argv[i]) == "--only") only = argv[i + 1];
        else if (std::string(argv[i]) == "--baseline") baseline = argv[i + 1];
        else if (std::string(argv[i]) == "--product") product = argv[i + 1];
    }
    std::string self = argv[0];
    std::string build = self.substr(0, self.rfind('/'));
    build = build.substr(0, build.rfind('/'));  // <build>/tools/bench -> <build>
    std::string dir = build + "/bench";
    mkdir(dir.c_str(), 0755);
    const std::string sorrel = build + "/sorrel", gen = build + "/gen_save",
                      literal = build + "/tests/literal_clean";

    // The caravan case stands right after the same save without the caravan: the same
    // seed, the same bytes but for the caravan and its references; the case with an option
    // right after the same save cleaned without it.
    const std::vector<Case> cases = {{10, 6, false},      {10, 200, false},  {10, 6, true},  {10, 200, true},
                                     {100, 6, false},     {100, 6, false, 10}, {100, 200, false}, {100, 6, true},
                                     {100, 200, true}, {100, 6, false, 0, "--lf"}, {100, 6, false, 0, "--lf --empty-items"},
                                     {100, 6, false, 0, "--compact"},
                                     {100, 200, false, 0, "--compact"}, {100, 6, false, 0, "--mothballed 8000"},
                                     {100, 6, false, 0, "--mothballed 8000", "--mothballed"},
                                     {100, 6, false, 0, "--extras 8000"}, {100, 6, false, 0, "--extras 8000", "--all"},
                                     // Dead pawns each named only by the one before: the closure's
                                     // time by the chain's length (the build before took the square).
                                     {10, 6, false, 0, "--chain 10000", "--dead"},
                                     {10, 6, false, 0, "--chain 100000", "--dead", false},
                                     // A real save: a 1.5 colony's world pawns repeated.
                                     Case::Grown(100, "RATS-1.5"), Case::Grown(100, "RATS-1.5", "--all")};
    double previous_seconds = 0;
    std::string previous_layout;
    std::string held_ratio;
    std::printf("| case | file MB | out MB | sorrel s | MB/s | cp s | sorrel / cp | read s | sorrel / read | peak MB | "
                "stage 1 MB/s | pass MB/s | literal / sorrel |%s%s\n",
                baseline.empty() ? "" : " baseline s | sorrel / baseline | baseline peak MB |",
                product.empty() ? "" : " product s | product / cp |");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|%s%s\n", baseline.empty() ? "" : "---|---|---|",
                product.empty() ? "" : "---|---|");
    for (const Case& c : cases) {
        if (c.Name().find(only) == std::string::npos) continue;
        std::string path = dir + "/" + c.File();
        std::string out = path.substr(0, path.size() - 4) + "-A.rws";
        struct stat st{};
        if (stat(path.c_str(), &st) != 0) {
            std::vector<std::string> g = {gen, path, "--size", std::to_string(c.mb) + "M"};
            if (!c.grown.empty()) {
                g.insert(g.end(), {"--grow", std::string(SORREL_SAVES_DIR) + "/" + c.grown + ".rws"});
            } else {
                g.insert(g.end(), {"--leaders", std::to_string(c.leaders), "--seed", "11"});
                if (c.cjk) g.push_back("--cjk");
                for (const std::string& word : Words(c.layout)) g.push_back(word);
                if (c.caravan > 0) g.insert(g.end(), {"--caravan", std::to_string(c.caravan)});
            }
            Spawn(g, "");
            sync();  // written back before anything is timed
        }
        // One run first, untimed: the output's size, and the file in the page cache for all.
        std::vector<std::string> program = {sorrel};
        if (!c.option.empty()) program.push_back(c.option);
        const bool against = !baseline.empty() && c.against;
        unlink(out.c_str());
        Spawn(program, path + "\n");
        double out_mb = FileMb(out);
        unlink(out.c_str());
        // With a baseline or the product's build, the programs take turns, so that all see the
        // same machine.
        std::vector<Measure> ours, theirs, products;
        for (int i = 0; i < runs; ++i) {
            ours.push_back(Median(1, program, path + "\n", out));
            std::vector<std::string> other = program;
            if (against) {
                other[0] = baseline;
                theirs.push_back(Median(1, other, path + "\n", out));
            }
            if (!product.empty()) {
                other[0] = product;
                products.push_back(Median(1, other, path + "\n", out, "sse2"));
            }
        }
        Measure fast = MedianOf(ours);
        const std::string copy_path = dir + "/copy.rws";
        const std::string copy_then_remove = "/bin/cp " + path + " " + copy_path + " && /bin/rm -f " + copy_path;
        Measure copy = Median(runs, {"/bin/sh", "-c", copy_then_remove}, "", "");
        Measure read = Median(runs, {"/bin/cat", path}, "", "");  // the save read alone, to /dev/null
        std::string literal_cell = "";
        if (c.mb == 10) {
            Measure slow = Median(1, {literal, path, dir + "/literal.rws"}, "", dir + "/literal.rws");
            char cell[32];
            std::snprintf(cell, sizeof cell, "%.1f", slow.seconds / fast.seconds);
            literal_cell = cell;
        }
        std::string baseline_cells = baseline.empty() ? "" : "  |  |  |";  // left empty where not timed
        if (against) {
            Measure old = MedianOf(theirs);
            char cells[96];
            std::snprintf(cells, sizeof cells, " %.3f | %.3f | %.1f |", old.seconds, fast.seconds / old.seconds, old.peak_mb);
            baseline_cells = cells;
        }
        std::string product_cells;
        if (!product.empty()) {
            char cells[64];
            const double seconds = MedianOf(products).seconds;
            std::snprintf(cells, sizeof cells, " %.3f | %.2f |", seconds, seconds / copy.seconds);
            product_cells = cells;
        }
        double mb = FileMb(path);
        const Rates rates = IndexRatesApart(path);
        std::printf("| %s | %.1f | %.1f | %.3f | %.0f | %.3f | %.2f | %.3f | %.2f | %.1f | %.0f | %.0f | %s |%s%s\n",
                    c.Name().c_str(), mb, out_mb, fast.seconds, mb / fast.seconds, copy.seconds, fast.seconds / copy.seconds,
                    read.seconds, fast.seconds / read.seconds, fast.peak_mb, rates.stage1, rates.pass, literal_cell.c_str(),
                    baseline_cells.c_str(), product_cells.c_str());
        std::fflush(stdout);
        if ((c.caravan > 0 || !c.option.empty()) && previous_seconds > 0 && previous_layout == c.layout) {
            char line[160];
            std::snprintf(line, sizeof line, "%s / without: %.2f (%.3f s against %.3f s)\n", c.Name().c_str(),
                          fast.seconds / previous_seconds, fast.seconds, previous_seconds);
            held_ratio += line;
        }
        previous_seconds = fast.seconds;
        previous_layout = c.layout;
    }
    std::printf("\n%s", held_ratio.c_str());
    return 0;
}
