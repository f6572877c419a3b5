// Sample-save generator: the parts of a save the cleaner reads, laid out as the game does.
#include "tools/sample_save.h"

#include <algorithm>
#include <random>
#include <vector>

namespace tools {

namespace {

const char* const kFirstNames[] = {"Jerry", "Ada", "Tomas", "Mira", "Kenji", "Olga", "Bea", "Sven"};
const char* const kChineseNames[] = {"伤", "李明", "王芳", "张伟", "刘洋", "陈静", "杨帆", "赵雷"};
const char* const kHediffs[] = {"Cut", "Bruise", "Burn", "Scratch", "Bite", "Crush"};
const char* const kApparel[] = {"Apparel_Parka", "Apparel_Pants", "Apparel_BasicShirt", "Apparel_Duster"};
const char* const kSkills[] = {"Shooting", "Melee", "Construction", "Mining", "Cooking", "Plants",
                               "Animals", "Crafting", "Artistic", "Medicine", "Social", "Intellectual"};

class Writer {
public:
    Writer(std::string& out, const SampleOptions& o)
        : out_(out), newline_(o.compact ? "" : o.crlf ? "\r\n" : "\n"), indent_(o.compact ? "" : o.spaces ? "  " : "\t") {}
    // One line at the given depth.
    void Line(int depth, const std::string& text) {
        for (int i = 0; i < depth; ++i) out_ += indent_;
        out_ += text;
        out_ += newline_;
    }

private:
    std::string& out_;
    std::string newline_, indent_;
};

template <class T, size_t N>
const T& Pick(std::mt19937_64& rng, const T (&list)[N]) {
    return list[rng() % N];
}

// One world pawn. `gap` puts a long comment before its "<li>"; `worn` gets the id of the
// first thing it wears.
void WritePawn(Writer& w, std::mt19937_64& rng, const SampleOptions& o, int32_t i, size_t padding, bool far,
               bool gap = false, std::string* worn = nullptr) {
    const std::string name = o.cjk && rng() % 2 == 0 ? Pick(rng, kChineseNames) : Pick(rng, kFirstNames);
    if (gap) w.Line(5, "<!-- " + std::string(60, '=') + " -->");
    // Spellings an XML reader takes as well as the game's own, one pawn in two.
    const bool odd = o.odd_spellings && rng() % 2 == 0;
    const uint64_t how = rng();
    if (odd && how % 5 == 0) w.Line(5, "<?note between items?>");
    static const char* const kOddOpenings[] = {"<li\tClass=\"Pawn\">", "<li\r\n\t\t\t\t\t\tClass='Pawn' note=\"a>b\">",
                                               "<li\nClass=\"Pawn\" >"};
    w.Line(5, odd ? kOddOpenings[how % 3] : "<li>");
    if (odd && how % 4 == 1) w.Line(6, "<!-- old: </li> <li><id>" + PawnId(i + 1) + "</id></li> -->");
    w.Line(6, "<def>Human</def>");
    if (odd && how % 4 == 2) w.Line(6, "<note><![CDATA[</li><li>]]></note>");
    if (far) w.Line(6, "<note>" + std::string(10050, '.') + "</note>");
    w.Line(6, "<id>" + PawnId(i) + "</id>");
    w.Line(6, "<faction>Faction_" + std::to_string(rng() % 9) + "</faction>");
    w.Line(6, "<questTags IsNull=\"True\" />");
    w.Line(6, "<name Class=\"NameTriple\">");
    w.Line(7, "<first>" + name + "</first>");
    w.Line(7, "<nick>" + name + "</nick>");
    w.Line(7, "<last>" + std::string(Pick(rng, kFirstNames)) + "son</last>");
    w.Line(6, "</name>");
    w.Line(6, "<health>");
    w.Line(7, "<hediffSet>");
    w.Line(8, "<hediffs>");
    for (uint64_t h = 1 + rng() % 3; h > 0; --h) {
        w.Line(9, "<li Class=\"Hediff_Injury\">");
        w.Line(10, "<def>" + std::string(Pick(rng, kHediffs)) + "</def>");
        w.Line(10, "<ageTicks>" + std::to_string(rng() % 900000) + "</ageTicks>");
        w.Line(10, "<severity>0." + std::to_string(rng() % 100) + "</severity>");
        w.Line(9, "</li>");
        w.Line(9, "<li Class=\"Hediff_MissingPart\" />");
    }
    w.Line(8, "</hediffs>");
    w.Line(7, "</hediffSet>");
    w.Line(6, "</health>");
    w.Line(6, "<apparel>");
    w.Line(7, "<wornApparel>");
    w.Line(8, "<innerList>");
    for (uint64_t a = 1 + rng() % 2; a > 0; --a) {
        std::string def = Pick(rng, kApparel);
        std::string id = def + std::to_string(rng() % 100000);
        if (worn != nullptr && worn->empty()) *worn = id;
        w.Line(9, "<li>");
        w.Line(10, "<def>" + def + "</def>");
        w.Line(10, "<id>" + id + "</id>");
        w.Line(10, "<health>" + std::to_string(50 + rng() % 100) + "</health>");
        w.Line(10, "<quality>Normal</quality>");
        w.Line(10, "<sustainerAmbient IsNull=\"True\" />");
        w.Line(9, "</li>");
    }
    w.Line(8, "</innerList>");
    w.Line(7, "</wornApparel>");
    w.Line(6, "</apparel>");
    w.Line(6, "<skills>");
    w.Line(7, "<skills>");
    for (const char* skill : kSkills) {
        w.Line(8, "<li>");
        w.Line(9, "<def>" + std::string(skill) + "</def>");
        w.Line(9, "<level>" + std::to_string(rng() % 21) + "</level>");
        w.Line(8, "</li>");
    }
    w.Line(7, "</skills>");
    w.Line(6, "</skills>");
    if (o.empty_items) {
        w.Line(6, "<abilities>");
        w.Line(7, "<li />");
        w.Line(7, "<li />");
        w.Line(6, "</abilities>");
    }
    if (o.cjk) {
        w.Line(6, "<tags>");
        w.Line(7, "<li>" + std::string(Pick(rng, kChineseNames)) + "</li>");
        w.Line(6, "</tags>");
    }
    // Records, as many as the size asks for.
    w.Line(6, "<records>");
    w.Line(7, "<vals>");
    for (size_t written = 0; written < padding; written += 24) {
        w.Line(8, "<li>" + std::to_string(rng() % 1000000) + "</li>");
    }
    w.Line(7, "</vals>");
    w.Line(6, "</records>");
    w.Line(5, odd && how % 2 == 1 ? "</li >" : "</li>");
}

// A list of references "<li>Thing_..</li>" under `tag`, or the empty tag.
void WriteReferences(Writer& w, int depth, const std::string& tag, const std::vector<std::string>& ids) {
    if (ids.empty()) {
        w.Line(depth, "<" + tag + " />");
        return;
    }
    w.Line(depth, "<" + tag + ">");
    for (const std::string& id : ids) w.Line(depth + 1, "<li>Thing_" + id + "</li>");
    w.Line(depth, "</" + tag + ">");
}

void WriteFaction(Writer& w, std::mt19937_64& rng, int32_t index, const std::string& leader, int32_t factions,
                  const std::vector<std::string>& kidnapped = {}) {
    w.Line(4, "<li>");
    w.Line(5, "<def>OutlanderCivil</def>");
    w.Line(5, "<loadID>" + std::to_string(index) + "</loadID>");
    w.Line(5, "<name>Faction " + std::to_string(index) + "</name>");
    w.Line(5, "<leader>" + leader + "</leader>");
    w.Line(5, "<kidnapped>");
    WriteReferences(w, 6, "kidnappedPawns", kidnapped);
    w.Line(5, "</kidnapped>");
    w.Line(5, "<relations>");
    for (int32_t other = 0; other < std::max(factions, 8); ++other) {
        w.Line(6, "<li>");
        w.Line(7, "<other>Faction_" + std::to_string(other) + "</other>");
        w.Line(7, "<goodwill>" + std::to_string(static_cast<int>(rng() % 201) - 100) + "</goodwill>");
        w.Line(6, "</li>");
    }
    w.Line(5, "</relations>");
    w.Line(4, "</li>");
}

void WriteQuests(Writer& w, const std::vector<std::string>& lent) {
    w.Line(2, "<questManager>");
    if (lent.empty()) {
        w.Line(3, "<quests />");
    } else {
        w.Line(3, "<quests>");
        w.Line(4, "<li>");
        w.Line(5, "<id>Quest_7</id>");
        w.Line(5, "<root>LentColonists</root>");
        w.Line(5, "<parts>");
        w.Line(6, "<li Class=\"QuestPart_LendColonistsToFaction\">");
        w.Line(7, "<shipJob>Faction_3</shipJob>");
        WriteReferences(w, 7, "lentColonists", lent);
        w.Line(6, "</li>");
        w.Line(5, "</parts>");
        w.Line(4, "</li>");
        w.Line(3, "</quests>");
    }
    w.Line(2, "</questManager>");
}

// One world object: its class (also its def), its id, then what `body` writes inside it.
template <class Body>
void WriteWorldObject(Writer& w, const std::string& type, int id, Body body) {
    w.Line(4, "<li Class=\"" + type + "\">");
    w.Line(5, "<def>" + type + "</def>");
    w.Line(5, "<id>" + type + "_" + std::to_string(id) + "</id>");
    body();
    w.Line(4, "</li>");
}

void WriteWorldObjects(Writer& w, const std::vector<std::string>& caravan, const std::vector<std::string>& pods) {
    w.Line(2, "<worldObjects>");
    w.Line(3, "<worldObjects>");
    WriteWorldObject(w, "Settlement", 1, [&] {
        w.Line(5, "<faction>Faction_1</faction>");
        w.Line(5, "<trader>");
        WriteReferences(w, 6, "stock", {});
        w.Line(5, "</trader>");
    });
    if (!caravan.empty()) {
        WriteWorldObject(w, "Caravan", 2, [&] {
            w.Line(5, "<faction>Faction_0</faction>");
            w.Line(5, "<pawns>");
            WriteReferences(w, 6, "innerList", caravan);
            w.Line(5, "</pawns>");
        });
    }
    if (!pods.empty()) {
        WriteWorldObject(w, "TravelingTransportPods", 3, [&] {
            w.Line(5, "<pods>");
            w.Line(6, "<li>");
            WriteReferences(w, 7, "tmpSavedPawns", pods);
            w.Line(6, "</li>");
            w.Line(5, "</pods>");
        });
    }
    w.Line(3, "</worldObjects>");
    w.Line(2, "</worldObjects>");
}

// Who the save holds by reference: world pawns that lead no faction, from a generator of
// their own, so the rest of the save is the same with or without them.
struct Held {
    std::vector<std::string> caravan, pods, kidnapped, quest;
    int32_t gap_before = -1;  // the leader whose entry runs through the next pawn
};

Held ChooseHeld(const SampleOptions& o, int32_t pawns, const std::vector<int32_t>& led) {
    std::vector<int32_t> free;
    for (int32_t i = 0; i < pawns; ++i)
        if (std::find(led.begin(), led.end(), i) == led.end()) free.push_back(i);
    std::mt19937_64 pick(o.seed * 7919 + 17);
    std::shuffle(free.begin(), free.end(), pick);
    Held h;
    size_t next = 0;
    auto take = [&](std::vector<std::string>& into, int32_t n) {
        for (; n > 0 && next < free.size(); --n) into.push_back(PawnId(free[next++]));
    };
    take(h.caravan, o.caravan);
    take(h.pods, o.pods);
    take(h.kidnapped, o.kidnapped);
    take(h.quest, o.quest);
    if (o.ref_swallowed && !led.empty()) {
        int32_t last = *std::max_element(led.begin(), led.end());
        if (last > 0 && last + 1 < pawns) {
            h.gap_before = last;
            h.caravan.push_back(PawnId(last + 1));
        }
    }
    if (o.ref_leader && !led.empty()) h.caravan.push_back(PawnId(led.front()));
    if (o.ref_missing) h.caravan.push_back(PawnId(pawns + 1000));
    return h;
}

// The pawns the game keeps as world pawns whatever happens, by reference: a leader, a living
// pawn and a mothballed one that lead nothing and are not held, and one in no list.
void WriteKeptForever(Writer& w, const SampleOptions& o, int32_t pawns, const std::vector<std::string>& leaders,
                      const Held& held) {
    auto free = [&](int32_t i) {
        const std::string id = PawnId(i);
        for (const auto* list : {&leaders, &held.caravan, &held.pods, &held.kidnapped, &held.quest})
            if (std::find(list->begin(), list->end(), id) != list->end()) return false;
        return true;
    };
    std::vector<std::string> kept;
    if (!leaders.empty()) kept.push_back(leaders.front());
    for (int32_t i = 0; i < pawns; ++i)
        if (free(i)) {
            kept.push_back(PawnId(i));
            break;
        }
    for (int32_t i = pawns + o.mothballed - 1; i >= pawns; --i)
        if (free(i)) {
            kept.push_back(PawnId(i));
            break;
        }
    kept.push_back(PawnId(pawns + o.mothballed + 500));
    WriteReferences(w, 4, "pawnsForcefullyKeptAsWorldPawns", kept);
}

}  // namespace

std::string PawnId(int32_t i) { return "Human" + std::to_string(100 + i); }

std::string GenerateSave(const SampleOptions& o) {
    std::mt19937_64 rng(o.seed);
    const int32_t leaders = std::max(o.leaders, 0);
    // About 6 KB an entry when a size is asked for; the padding is worked out once the
    // faction section is written.
    int32_t pawns = std::max({o.pawns, leaders, 1});
    if (o.size > 0) pawns = static_cast<int32_t>(std::max<int64_t>(pawns, std::min<int64_t>(o.size / 6000, 1 << 20)));

    // Leaders are spread over the list, the first and the last pawn among them when there
    // are enough; with a swallowing entry asked for, the last pawn leads no faction, so that
    // the entry that runs on to the list's end takes no other leader's pawn with it.
    const int32_t last_led = o.ref_swallowed && pawns > 2 ? pawns - 2 : pawns - 1;
    std::vector<int32_t> led;
    for (int32_t f = 0; f < leaders; ++f)
        led.push_back(leaders == 1 ? std::min(pawns / 2, last_led) : static_cast<int32_t>(int64_t{f} * last_led / (leaders - 1)));
    std::shuffle(led.begin(), led.end(), rng);

    Held held = ChooseHeld(o, pawns, led);
    // With mothballed pawns, every second leader is one of them, and so is one held pawn.
    const int32_t mothballed = std::max(o.mothballed, 0);
    std::vector<std::string> leader_ids;
    for (int32_t f = 0; f < leaders; ++f)
        leader_ids.push_back(mothballed > 0 && f % 2 == 1 ? PawnId(pawns + (f / 2) % mothballed) : PawnId(led[f]));
    if (mothballed > 0 && !held.caravan.empty()) held.caravan.push_back(PawnId(pawns + mothballed - 1));

    std::string out;
    if (o.size > 0) out.reserve(static_cast<size_t>(o.size) + (1 << 20));
    Writer w(out, o);
    out += "\xEF\xBB\xBF";
    w.Line(0, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    w.Line(0, "<savegame>");
    w.Line(1, "<meta>");
    w.Line(2, "<gameVersion>1.5.4104 rev435</gameVersion>");
    w.Line(1, "</meta>");
    w.Line(1, "<game>");
    WriteQuests(w, held.quest);
    w.Line(2, "<world>");
    w.Line(3, "<factionManager>");
    w.Line(4, "<allFactions>");
    int32_t index = 0;
    WriteFaction(w, rng, index++, "null", leaders + 3);
    for (int32_t f = 0; f < leaders; ++f) {
        WriteFaction(w, rng, index++, "Thing_" + leader_ids[f], leaders + 3, f == 0 ? held.kidnapped : std::vector<std::string>());
        if (f == 0) WriteFaction(w, rng, index++, "Faction_2", leaders + 3);  // not a pawn
    }
    if (o.leader_twice && leaders > 0) WriteFaction(w, rng, index++, "Thing_" + leader_ids[0], leaders + 3);
    WriteFaction(w, rng, index++, "null", leaders + 3, leaders == 0 ? held.kidnapped : std::vector<std::string>());
    w.Line(4, "</allFactions>");
    w.Line(3, "</factionManager>");
    w.Line(3, "<worldPawns>");
    if (mothballed > 0) WriteKeptForever(w, o, pawns, leader_ids, held);
    w.Line(4, "<pawnsAlive>");
    // The far marker goes to a leader that is not the list's first pawn.
    int32_t far = -1;
    for (int32_t p : led)
        if (o.far_marker && p > 0 && far == -1) far = p;
    size_t padding = 0;
    if (o.size > 0) {
        // An entry without padding, written aside, tells what the records must add.
        std::string sample;
        Writer aside(sample, o);
        std::mt19937_64 copy = rng;
        WritePawn(aside, copy, o, 0, 0, false);
        const int64_t tail = 400;
        int64_t per_entry = (o.size - static_cast<int64_t>(out.size()) - tail) / pawns -
                            static_cast<int64_t>(sample.size());
        padding = per_entry > 0 ? static_cast<size_t>(per_entry) : 0;
    }
    std::string worn;
    for (int32_t i = 0; i < pawns; ++i) WritePawn(w, rng, o, i, padding, i == far, i == held.gap_before, &worn);
    if (o.ref_nested) held.caravan.push_back(worn);
    w.Line(4, "</pawnsAlive>");
    if (mothballed > 0) {
        std::mt19937_64 aside(o.seed * 131 + 3);  // the living pawns are the same with or without these
        w.Line(4, "<pawnsMothballed>");
        for (int32_t i = 0; i < mothballed; ++i) WritePawn(w, aside, o, pawns + i, padding, false);
        w.Line(4, "</pawnsMothballed>");
    }
    w.Line(4, "<pawnsDead />");
    if (mothballed == 0) w.Line(4, "<pawnsForcefullyKeptAsWorldPawns />");
    w.Line(3, "</worldPawns>");
    WriteWorldObjects(w, held.caravan, held.pods);
    w.Line(2, "</world>");
    w.Line(2, "<tickManager>");
    w.Line(3, "<ticksGame>" + std::to_string(rng() % 10000000) + "</ticksGame>");
    w.Line(2, "</tickManager>");
    w.Line(1, "</game>");
    w.Line(0, "</savegame>");
    return out;
}

}  // namespace tools
