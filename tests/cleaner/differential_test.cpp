// The fast cleaner against the literal steps on hundreds of generated saves in every layout
// the game reads, bent in the ways that matter: Chinese text right before tags, tags
// missing, leaders repeated or absent or close together, entries near the 10000-position
// limit, NUL bytes, no "/>", pawns held by reference in every place the save holds them.
#include <algorithm>
#include <random>
#include <string>

#include "cleaner/clean.h"
#include "tests/cleaner/in_memory.h"
#include "tests/cleaner/literal.h"
#include "tests/cleaner/xml_judge.h"
#include "tests/runtime/helpers.h"
#include "tools/sample_save.h"

namespace {

using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::ShownBoxes;

const char* const kTags[] = {"</li>", "<li>", "<li Class", ">", "/>", "<id>", "</id>", "<leader>Thing_",
                             "</leader>", "<pawnsAlive>", "</pawnsAlive>", "</factionManager>",
                             ">Thing_", "<worldObjects>", "</worldObjects>", "</kidnappedPawns>", "<questManager>",
                             "</questManager>"};

size_t Below(std::mt19937_64& rng, size_t n) { return static_cast<size_t>(rng() % n); }

size_t RandomOccurrence(const std::string& s, const std::string& tag, std::mt19937_64& rng) {
    size_t count = 0;
    for (size_t at = s.find(tag); at != std::string::npos; at = s.find(tag, at + 1)) ++count;
    if (count == 0) return std::string::npos;
    size_t pick = Below(rng, count), at = s.find(tag);
    while (pick-- > 0) at = s.find(tag, at + 1);
    return at;
}

void Mutate(std::string& s, std::mt19937_64& rng) {
    const std::string tag = kTags[rng() % std::size(kTags)];
    size_t at = RandomOccurrence(s, tag, rng);
    switch (rng() % 8) {
        case 0:  // an odd run of high bytes right before a tag
            if (at != std::string::npos) s.insert(at, rng() % 2 ? "\xE4\xBC\xA4" : "\xE4");
            break;
        case 1:  // a tag gone
            if (at != std::string::npos) s.erase(at, tag.size());
            break;
        case 2: {  // one more leader reference, close after another or before the section's end
            std::string ref = "<leader>Thing_" + tools::PawnId(static_cast<int32_t>(rng() % 12)) + "</leader>";
            size_t after = RandomOccurrence(s, "</leader>", rng);
            if (after != std::string::npos && rng() % 2) s.insert(after + 9, ref);
            else if (size_t end = s.find("</factionManager>"); end != std::string::npos) s.insert(end, ref);
            break;
        }
        case 3: {  // an entry's marker pushed to near 10000 positions after the item before it
            size_t id = RandomOccurrence(s, "<id>Human", rng);
            if (id != std::string::npos) s.insert(id, std::string(9970 + Below(rng, 60), ' '));
            break;
        }
        case 4:
            s.insert(Below(rng, s.size() + 1), 1, '\0');
            break;
        case 5:  // no "/>" anywhere
            for (size_t p = s.find("/>"); p != std::string::npos; p = s.find("/>", p)) s[p] = '_';
            break;
        case 6:
            s.resize(Below(rng, s.size() + 1));
            break;
        default:
            break;  // left as generated
    }
}

size_t Differs(const std::string& a, const std::string& b) {
    return static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

struct Differential : testutil::FolderTest { Differential() : FolderTest("differential_test_tmp") {} };

// Some of every kind of held pawn and reference, by the seed.
void HoldSome(tools::SampleOptions& o, std::mt19937_64& rng) {
    o.caravan = static_cast<int32_t>(rng() % 3);
    o.pods = static_cast<int32_t>(rng() % 2);
    o.kidnapped = static_cast<int32_t>(rng() % 2);
    o.quest = static_cast<int32_t>(rng() % 2);
    o.ref_leader = rng() % 2;
    o.ref_nested = rng() % 2;
    o.ref_missing = rng() % 2;
    o.ref_swallowed = rng() % 3 == 0;
}

// A layout other than the game's own: no whitespace, or two spaces for a tab; "<li />"
// items in pawns, a leader named twice, tags spelled otherwise.
void Lay(tools::SampleOptions& o, std::mt19937_64& rng) {
    switch (rng() % 3) {
        case 0: o.compact = true; break;
        case 1: o.spaces = true; break;
        default: break;
    }
    o.empty_items = rng() % 3 == 0;
    o.leader_twice = rng() % 5 == 0;
    o.mothballed = rng() % 3 == 0 ? 1 + static_cast<int32_t>(rng() % 4) : 0;
    o.odd_spellings = rng() % 4 == 0;
}

// One of the tags of the lists beside the living one gone.
void BreakAList(std::string& s, std::mt19937_64& rng) {
    static const char* const kListTags[] = {"<pawnsMothballed>", "</pawnsMothballed>", "<pawnsForcefullyKeptAsWorldPawns>",
                                            "</pawnsForcefullyKeptAsWorldPawns>", "</li>"};
    const std::string tag = kListTags[rng() % std::size(kListTags)];
    size_t at = RandomOccurrence(s, tag, rng);
    if (at != std::string::npos) s.erase(at, tag.size());
}

// On saves as generated the run writes what the literal steps write, with the same boxes;
// on any other save that is XML (libxml2 the judge, where the test build has it) the same
// error code 01, and every output is sound. (A save that is no XML the game cannot load.)
TEST_F(Differential, AgreesWithTheLiteralStepsOnGeneratedSaves) {
    int lost = 0, endless = 0, written = 0, short_boxes = 0, held = 0, whole = 0, mended = 0;
    // The first thousand in the game's layouts (CR LF and LF), the rest in others, some with
    // mothballed pawns, cleaned with and without that option.
    for (uint64_t seed = 1; seed <= 1600; ++seed) {
        std::mt19937_64 rng(seed);
        tools::SampleOptions o;
        o.seed = seed;
        o.pawns = 2 + static_cast<int32_t>(rng() % 6);
        o.leaders = static_cast<int32_t>(rng() % 4);
        o.cjk = rng() % 2;
        o.crlf = rng() % 3 != 0;
        if (seed > 1000) Lay(o, rng);
        if (rng() % 2) HoldSome(o, rng);
        std::string save = tools::GenerateSave(o);
        const uint64_t mutations = rng() % 4;
        for (uint64_t m = mutations; m > 0; --m) Mutate(save, rng);
        const bool asleep = seed > 1000 && rng() % 2;
        const bool broken = seed > 1000 && rng() % 4 == 0;
        if (broken) BreakAList(save, rng);

        // The whole run on the file: the stream, the pieces written from the file, the renaming.
        Put("Colony.rws", save);
        ShownBoxes().clear();
        cleaner::CleanReport fast = cleaner::CleanSave(Path("Colony.rws").c_str(), {asleep, false});
        const std::string fast_boxes = testutil::WithoutChanged(ShownBoxes()), out = fast.written() ? Get("Colony-A.rws") : "";
        std::filesystem::remove(Path("Colony-A.rws"));
        ShownBoxes().clear();
        OwnedBytes file = Bytes(save);
        literal::Run expected = literal::Clean(file.get(), asleep);
        if (expected.written)
            ShownBoxes() += "[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：" + Path("Colony-A.rws") + "\n";

        // Saves as generated are the layouts the steps were made for; a save bent out of them,
        // or spelled otherwise, that is still XML gets a sound output of the run's own.
        const bool xml = judge::WellFormed(save);
        if (mutations == 0 && !broken && !o.odd_spellings) {
            ASSERT_EQ(fast.lost, expected.lost) << "seed " << seed;
            ASSERT_TRUE(out == expected.output) << "seed " << seed << ", first difference at " << Differs(out, expected.output);
            ASSERT_EQ(fast_boxes, ShownBoxes()) << "seed " << seed;
            ASSERT_EQ(fast.counts.held, expected.held) << "seed " << seed;
        } else if (xml) {
            ASSERT_EQ(fast.lost, expected.lost) << "seed " << seed;
            mended += out != expected.output;
        }
        if (xml && fast.written()) {
            ASSERT_EQ(judge::Unsound(save, out), "") << "seed " << seed;
        }
        lost += expected.lost;
        endless += expected.endless;
        written += expected.written;
        whole += expected.whole;
        held += expected.held > 0;
        short_boxes += fast_boxes.find("获取出错") != std::string::npos;
    }
    // Every kind of outcome came up.
    EXPECT_GT(lost, 0);
    EXPECT_GT(endless, 0);
    EXPECT_GT(written, 300);
    EXPECT_GT(short_boxes, 0);
    EXPECT_GT(held, 100);
    EXPECT_GT(whole, 100);
    EXPECT_GT(written - whole, 100);
    std::printf("written %d (%d item by item), error 01 %d, endless scans %d, short entries %d, with held pawns %d, "
                "written otherwise than by the steps %d\n",
                written, whole, lost, endless, short_boxes, held, mended);
}

// With the extra options, each alone and the four together, the run leaves what the plain
// reading of the rule over libxml2's tree leaves, on generated saves in every layout.
TEST_F(Differential, RemovesExtrasAsTheReferenceDoes) {
    if (!judge::kAvailable) GTEST_SKIP() << "no libxml2 in this build";
    int removed = 0;
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        std::mt19937_64 rng(seed);
        tools::SampleOptions o;
        o.seed = seed;
        o.pawns = 2 + static_cast<int32_t>(rng() % 6);
        o.leaders = 1 + static_cast<int32_t>(rng() % 3);
        o.extras = 1 + static_cast<int32_t>(rng() % 30);
        o.cjk = rng() % 2;
        o.crlf = rng() % 2;
        if (seed > 20) Lay(o, rng);
        const std::string save = tools::GenerateSave(o);
        const std::string plain = inmemory::Joined(save, inmemory::Clean(save).pieces);
        for (int asked = 0; asked < 5; ++asked) {
            cleaner::CleanOptions options;
            bool kinds[4] = {};
            for (size_t kind = 0; kind < cleaner::kExtraKinds; ++kind)
                options.extras[kind] = kinds[kind] = asked == 4 || asked == static_cast<int>(kind);
            const cleaner::Pruned pruned = inmemory::Clean(save, options);
            const std::string out = inmemory::Joined(save, pruned.pieces);
            const judge::Dumps written = judge::ExtrasReference(plain, out, kinds);
            ASSERT_TRUE(written.expected == written.output) << "seed " << seed << ", kinds " << asked;
            for (const cleaner::ExtraCount& count : pruned.counts.extras) removed += std::max(count.items, 0);
        }
    }
    EXPECT_GT(removed, 1000);
}

}  // namespace
