// The two stages against the byte tokenizer alone: the same events for the rules, whatever
// the chunks and wherever the blocks of 64 bytes fall; and the same index of every save.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "cleaner/stage1/marks.h"
#include "cleaner/walk.h"
#include "tests/cleaner/index_dump.h"
#include "tools/odd_save.h"
#include "tools/sample_save.h"

namespace {

// Rules that always ask the same, and write down what they are given: tags with their
// levels, texts (parts joined where they follow each other), leaf texts that may be references.
struct Recorder {
    int named = INT_MAX;
    cleaner::Ids ids = cleaner::Ids::kNone;
    bool references = false;
    std::string events;
    int64_t text_end = -1;

    int NamedLevel() const { return named; }
    cleaner::Ids WantsIds() const { return ids; }
    bool MayWantId(std::string_view) const { return true; }
    bool WantsReferences() const { return references; }
    bool WantsText() const { return true; }
    void Tag(const cleaner::Tag& tag, int level) {
        events += "\n<" + std::string(tag.kind == cleaner::Tag::kEnd ? "/" : "") + std::string(tag.name) +
                  (tag.long_name ? "+" : "") + "[" + std::string(tag.attributes) + "]" +
                  (tag.kind == cleaner::Tag::kEmpty ? "/" : "") + ">@" + std::to_string(tag.begin) + "-" +
                  std::to_string(tag.end) + " " + std::to_string(level);
        text_end = -1;
    }
    void Text(int64_t at, const uint8_t* bytes, size_t n) {
        if (at != text_end) events += "\n'" + std::to_string(at) + ":";
        events.append(reinterpret_cast<const char*>(bytes), n);
        text_end = at + static_cast<int64_t>(n);
    }
    void ReferenceText(int64_t at, std::string_view raw) {
        events += "\nref " + std::to_string(at) + ":" + std::string(raw);
        text_end = -1;
    }
};

// `xml` through `walk` in chunks of `chunk` bytes, as the index reads a save (the walk's last
// bytes kept for the next chunk).
void Walked(const std::string& xml, size_t chunk, cleaner::Walk<Recorder>& walk) {
    cleaner::MemorySource source({reinterpret_cast<const uint8_t*>(xml.data()), xml.size()}, chunk);
    size_t keep = 0;
    for (int64_t read = 0;;) {
        std::span<const uint8_t> part;
        source.Next(&part, keep);
        const size_t fresh = part.size() - keep;
        const int64_t at = read - static_cast<int64_t>(keep);
        read += static_cast<int64_t>(fresh);
        keep = walk.Feed(part.data(), part.size(), at, fresh == 0);
        if (fresh == 0) return;
    }
}

// The events of `xml` read by the byte tokenizer alone, or in two stages in chunks of `chunk`
// bytes.
std::string Events(const std::string& xml, Recorder rules, bool two_stages, size_t chunk) {
    if (!two_stages) {
        cleaner::Events<Recorder> events(rules);
        cleaner::Tokenizer<cleaner::Events<Recorder>> tokenizer(events);
        tokenizer.Feed(reinterpret_cast<const uint8_t*>(xml.data()), xml.size());
        return rules.events;
    }
    cleaner::Walk<Recorder> walk(rules);
    Walked(xml, chunk, walk);
    return rules.events;
}

// Each kernel the processor runs in turn (the walk reads the choice when it begins), then the
// one chosen at start again.
template <class Test>
void ByEachKernel(Test test) {
    const cleaner::Kernel own = cleaner::ActiveKernel();
    for (cleaner::Kernel kernel : cleaner::kKernels) {
        if (!cleaner::Runs(kernel)) continue;
        cleaner::ActiveKernel() = kernel;
        SCOPED_TRACE(cleaner::KernelName(kernel));
        test();
    }
    cleaner::ActiveKernel() = own;
}

// The walk over `xml` in chunks of 256 KiB: how many times it took the byte path.
size_t BytePaths(const std::string& xml) {
    Recorder rules;
    rules.named = 3;
    cleaner::Walk<Recorder> walk(rules);
    Walked(xml, 256 << 10, walk);
    return walk.byte_paths();
}

// Each rule setting the index may be in.
std::vector<Recorder> Settings() {
    std::vector<Recorder> all;
    for (int named : {1, 2, 3, INT_MAX})
        for (cleaner::Ids ids : {cleaner::Ids::kNone, cleaner::Ids::kId, cleaner::Ids::kExtraIds, cleaner::Ids::kFactionNames})
            for (bool references : {false, true}) {
                Recorder rules;
                rules.named = named, rules.ids = ids, rules.references = references;
                all.push_back(rules);
            }
    return all;
}

// Every snippet, wherever it falls against the blocks (after 0 to 130 blanks), read in chunks
// of several sizes: the same events. Boundaries fall between "<" and "/", between "/" and
// ">", inside names, values and texts, right after a "<" that opens a comment.
TEST(Walk, GivesTheTokenizersEvents) {
    const std::string snippets[] = {
        "<a><b/><c>Thing_X</c><d x=\"1\" y='2'>t</d></a>",
        "<li Class=\"Hediff_Injury\"><def>Cut</def><id>Thing7</id></li><li Class=\"Gene\" />",
        "<a b='x/y' c=\"1\">Tale_3</a><e\t\r\nf=\"g\"\t/></a >",
        "<pawn>Thi<!-- c -->ng_X</pawn><pawn> &#84;hing_Y </pawn><pawn>Thing_&#65;</pawn>",
        "<i><id>A</id><ID>B</ID><logID>7</logID><loadID>8</loadID><idle>x</idle><id/></i>",
        "<f><li><leader>Thing_L</leader><level>2</level><kidnappedPawns><li>Thing_K</li></kidnappedPawns><kind/></li></f>",
        "<n" + std::string(60, 'n') + " a=\"" + std::string(90, 'v') + "\">" + std::string(200, 'T') + "</n>",
        "<r>LogEntry_1_2</r><r>Battle_3</r><r>Letter_4</r><r>Message_5</r><r>ArchivedDialog_6</r><r>Melee</r>",
        // A "/" inside a tag with quoted values; a quote inside a name.
        "<a x=\"1\" /y z='2'>t</a><long\"name k='v'>u</long\"name>",
        // Quotes of one kind inside values of the other.
        "<a b=\"c\" d='e\"' f=\"'\" g='\"'>t</a><h i=\"it's\"/>",
    };
    ByEachKernel([&] {
        for (const std::string& snippet : snippets) {
            for (size_t pad = 0; pad <= 130; ++pad) {
                const std::string xml = "<root>" + std::string(pad, ' ') + snippet + std::string(200, ' ') + snippet + "</root>";
                for (const Recorder& rules : Settings()) {
                    const std::string expected = Events(xml, rules, false, 0);
                    for (size_t chunk : {size_t{1}, size_t{7}, size_t{200}, size_t{256} << 10})
                        ASSERT_EQ(Events(xml, rules, true, chunk), expected) << xml << " named " << rules.named << " chunk " << chunk;
                }
            }
        }
    });
}

// Blocks that are not plain go the byte path, with the same events: one of each kind in the
// middle of a save's text, wherever it falls.
TEST(Walk, BlocksNotPlainGoTheBytePath) {
    const std::string kinds[] = {
        "<a>x > y</a>",           // ">" in text
        "<a b=\"x>y\">t</a>",     // ">" in an attribute value
        "<a>x/>y</a>",            // "/>" in text
        "<a><!-- <b> --></a>",    // a comment
        "<a><![CDATA[<b>]]></a>",  // a CDATA section
        "<?pi <b> ?>",            // a processing instruction
        "<!DOCTYPE x [<!ENTITY e \"<b>\">]>",  // a declaration
        "<a b=\"='\" d='x/>y'>t</a>",  // a quote of the other kind in a value, then a ">" in a value
        "<a/b>t</a>",             // a "/" inside a tag
        "</a/>",                  // an end tag ended by "/>"
        // A quote left open at its tag's ">", blocks before the next quote.
        "<s b=\"Tr /><m>x</m>" + std::string(140, ' ') + "<c d=\"e\">t</c>",
    };
    for (const std::string& kind : kinds) {
        // The kind alone in a block is no plain block.
        std::string block = kind + std::string(200, ' ');
        for (cleaner::Kernel kernel : cleaner::kKernels) {
            if (!cleaner::Runs(kernel)) continue;
            cleaner::Carry carry;
            cleaner::Marks m;
            const uint64_t faults = cleaner::MarkedFaults(kernel, reinterpret_cast<const uint8_t*>(block.data()), m, &carry);
            EXPECT_NE(faults | (carry.in_tag() ? 1 : 0), 0u) << kind << cleaner::KernelName(kernel);
        }
        for (size_t pad = 0; pad <= 70; ++pad) {
            const std::string xml = "\xEF\xBB\xBF<root>" + std::string(pad, 'x') + "<p>Thing_A</p>" + kind + "<q>Thing_B</q></root>";
            for (const Recorder& rules : Settings())
                ASSERT_EQ(Events(xml, rules, true, 256 << 10), Events(xml, rules, false, 0)) << kind << " after " << pad;
        }
    }
}

// The index of every save the tests hold and of generated saves in every layout, with and
// without the extras, in chunks from one byte up: the same by either reading.
TEST(Walk, IndexesEverySaveAsTheTokenizerDoes) {
    std::vector<std::string> saves;
    for (const char* name : {"FlatLand-B18.rws", "RATS-1.5.rws"}) {
        std::ifstream in(std::filesystem::path(SORREL_SAVES_DIR) / name, std::ios::binary);
        if (in) saves.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        std::mt19937_64 rng(seed);
        tools::SampleOptions o;
        o.seed = seed;
        o.pawns = 3 + static_cast<int32_t>(rng() % 5);
        o.cjk = seed % 2;
        o.crlf = seed % 3 != 0;
        o.compact = seed % 4 == 1;
        o.spaces = seed % 4 == 2;
        o.empty_items = seed % 3 == 0;
        o.odd_spellings = seed % 2 == 0;
        o.mothballed = seed % 3 == 1 ? 3 : 0;
        o.extras = seed % 2 == 1 ? 12 : 0;
        o.caravan = static_cast<int32_t>(seed % 3);
        o.chain = seed == 5 ? 20 : 0;
        saves.push_back(tools::GenerateSave(o));
    }
    // Their blocks are plain, but for the declaration, markup other than tags and tags longer
    // than a block: the byte path is taken for few.
    ByEachKernel([&] {
        for (const std::string& save : saves) EXPECT_LT(BytePaths(save), save.size() / 2000) << save.substr(0, 80);
    });
    // A held pawn behind quotes of one kind inside values of the other, wherever the blocks fall.
    for (size_t blanks = 0; blanks < 70; ++blanks) {
        const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<savegame>\n<meta>" + std::string(blanks, ' ') +
                                 "</meta>\n<game><world>";
        const std::string leader =
            "<factionManager><allFactions><li><leader>Thing_Human1</leader></li></allFactions></factionManager>\n";
        saves.push_back(head + leader + R"(<worldPawns><pawnsAlive>
<li><def>Human</def><id>Human1</id></li>
<li a="='" b='x/>y'><def>Human</def><id>Human2</id></li>
<li><def>Human</def><id>Human3</id></li>
</pawnsAlive></worldPawns></world></game>
</savegame>
)");
        saves.push_back(head + "\n" + leader + R"(<worldPawns><pawnsAlive>
<li><def>Human</def><id>Human1</id></li>
<li><def>Human</def><id>Human2</id><x a="='" b='a>b'/></li>
<li><def>Human</def><id>Human3</id></li>
<li><def>Human</def><id>Human4</id><y a="='" b='/>'></y></li>
<li><def>Human</def><id>Human5</id></li>
</pawnsAlive></worldPawns>
<worldObjects><worldObjects><li><pawns><li>Thing_Human3</li><li>Thing_Human5</li></pawns></li></worldObjects></worldObjects>
</world></game>
</savegame>
)");
    }
    // A NUL in the living list's start tag, which the chunks before it read: no NUL of the list's.
    const std::string nul(1, '\0');
    saves.push_back("<savegame><game><world><worldPawns><pawnsAlive a=\"" + std::string(300, 'a') + nul + std::string(300, 'b') +
                    "\">\n<li><id>A</id></li>" + nul + "\n</pawnsAlive></worldPawns></world></game></savegame>");
    ByEachKernel([&] {
        for (const std::string& save : saves) {
            for (bool extras : {false, true}) {
                const std::string expected = indexdump::Indexed(save, 256 << 10, extras, cleaner::Reading::kBytes);
                for (size_t chunk : {size_t{1}, size_t{63}, size_t{4096}, size_t{256} << 10})
                    ASSERT_EQ(indexdump::Indexed(save, chunk, extras, cleaner::Reading::kTwoStages), expected)
                        << save.substr(0, 80) << " chunk " << chunk << " extras " << extras;
            }
        }
    });
}

// Saves spelled as no game writes them (tools/odd_save.h), each construct at every offset of a
// block: the same events, under rules that ask each thing in turn, and the same index.
TEST(Walk, ReadsOddSavesAsTheTokenizerDoes) {
    const std::vector<Recorder> settings = Settings();
    const size_t chunks[] = {1, 7, 63, 4096, 256 << 10};
    ByEachKernel([&] {
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            for (int32_t shift = 0; shift < 128; ++shift) {
                const std::string save = tools::OddSave({seed, shift, 6});
                const Recorder& rules = settings[static_cast<size_t>(seed * 128 + static_cast<uint64_t>(shift)) % settings.size()];
                const size_t chunk = chunks[static_cast<size_t>(shift) % std::size(chunks)];
                ASSERT_EQ(Events(save, rules, true, chunk), Events(save, rules, false, 0))
                    << "seed " << seed << " shift " << shift << " named " << rules.named;
                const bool extras = shift % 2 == 1;
                ASSERT_EQ(indexdump::Indexed(save, chunk, extras, cleaner::Reading::kTwoStages),
                          indexdump::Indexed(save, 256 << 10, extras, cleaner::Reading::kBytes))
                    << "seed " << seed << " shift " << shift;
            }
        }
    });
}

// SORREL_KERNEL's names: each taken where the processor runs it, anything else the best.
TEST(Kernel, TakenByNameWhereTheProcessorRunsIt) {
    const cleaner::Kernel best = cleaner::ChosenKernel(nullptr);
    EXPECT_TRUE(cleaner::Runs(best));
    for (cleaner::Kernel kernel : cleaner::kKernels) {
        EXPECT_EQ(cleaner::ChosenKernel(cleaner::KernelName(kernel)), cleaner::Runs(kernel) ? kernel : best);
        EXPECT_LE(static_cast<int>(cleaner::Runs(kernel) ? kernel : best), static_cast<int>(best));
    }
    EXPECT_EQ(cleaner::ChosenKernel("scalar"), cleaner::Kernel::kScalar);
    for (const char* other : {"", "AVX2", "neon", "sse2 "}) EXPECT_EQ(cleaner::ChosenKernel(other), best) << other;
}

}  // namespace
