// Sample-save generator: the parts of a save the cleaner reads, laid out as the game does.
#include "tools/sample_save.h"

#include <algorithm>
#include <functional>
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

namespace {

// The dead pawns' ids begin here, past every living and mothballed one.
int32_t DeadBase(int32_t pawns, int32_t mothballed) { return pawns + mothballed + 1000; }

void WriteLogs(Writer& w, const SampleOptions& o, int32_t dead) {
    const int32_t n = o.extras;
    w.Line(2, "<taleManager>");
    w.Line(3, "<tales>");
    for (int32_t i = 0; i < n; ++i) {
        w.Line(4, "<li Class=\"Tale_SinglePawn\">");
        w.Line(5, "<def>Captured</def>");
        w.Line(5, "<id>" + std::to_string(i + 1) + "</id>");
        w.Line(5, "<pawnData>");
        w.Line(6, "<pawn>Thing_" + PawnId(dead + i % n) + "</pawn>");
        w.Line(6, "<name Class=\"NameTriple\"><first>Ada</first><last>Ng</last></name>");
        w.Line(5, "</pawnData>");
        w.Line(5, "<date>" + std::to_string(1000 * i) + "</date>");
        w.Line(4, "</li>");
    }
    w.Line(3, "</tales>");
    w.Line(2, "</taleManager>");
    w.Line(2, "<playLog>");
    w.Line(3, "<entries>");
    for (int32_t i = 0; i < n; ++i) {
        w.Line(4, "<li Class=\"PlayLogEntry_Interaction\">");
        w.Line(5, "<logID>" + std::to_string(i + 1) + "</logID>");
        w.Line(5, "<ticksAbs>" + std::to_string(5000 + i) + "</ticksAbs>");
        w.Line(5, "<intDef>Chitchat</intDef>");
        w.Line(5, "<initiator>Thing_" + PawnId(dead + (i * 7) % n) + "</initiator>");
        w.Line(4, "</li>");
    }
    w.Line(3, "</entries>");
    w.Line(2, "</playLog>");
    w.Line(2, "<battleLog>");
    w.Line(3, "<battles>");
    for (int32_t b = 0; b < n / 4; ++b) {
        w.Line(4, "<li>");
        w.Line(5, "<loadID>" + std::to_string(b + 1) + "</loadID>");
        w.Line(5, "<entries>");
        for (int32_t e = 0; e < 3; ++e) {
            w.Line(6, "<li Class=\"BattleLogEntry_MeleeCombat\">");
            w.Line(7, "<logID>" + std::to_string(n + 3 * b + e + 1) + "</logID>");
            w.Line(7, "<ticksAbs>" + std::to_string(9000 + b) + "</ticksAbs>");
            w.Line(7, "<initiator>Thing_" + PawnId(dead + (b * 3 + e) % n) + "</initiator>");
            w.Line(6, "</li>");
        }
        w.Line(5, "</entries>");
        w.Line(4, "</li>");
    }
    w.Line(3, "</battles>");
    w.Line(2, "</battleLog>");
    w.Line(2, "<history>");
    w.Line(3, "<archive>");
    w.Line(4, "<archivables>");
    for (int32_t a = 0; a < n / 4; ++a) {
        w.Line(5, "<li Class=\"ChoiceLetter\">");
        w.Line(6, "<def>NeutralEvent</def>");
        w.Line(6, "<ID>" + std::to_string(a + 1) + "</ID>");
        w.Line(6, "<label>A visitor</label>");
        w.Line(5, "</li>");
    }
    w.Line(4, "</archivables>");
    w.Line(3, "</archive>");
    w.Line(2, "</history>");
    w.Line(2, "<letterStack>");
    w.Line(3, "<letters>");
    for (int32_t a = 0; a < n / 4; a += 2) w.Line(4, "<li>Letter_" + std::to_string(a + 1) + "</li>");
    w.Line(3, "</letters>");
    w.Line(2, "</letterStack>");
}

void WriteThing(Writer& w, const std::string& cls, const std::string& def, const std::string& id,
                const std::function<void()>& inside = [] {}) {
    w.Line(4, "<thing Class=\"" + cls + "\">");
    w.Line(5, "<def>" + def + "</def>");
    w.Line(5, "<id>" + id + "</id>");
    w.Line(5, "<pos>(" + std::to_string(id.size() * 7 % 250) + ", 0, 12)</pos>");
    inside();
    w.Line(4, "</thing>");
}

void WriteMap(Writer& w, std::mt19937_64& rng, const SampleOptions& o, int32_t dead) {
    const int32_t n = o.extras;
    w.Line(2, "<maps>");
    w.Line(3, "<li>");
    w.Line(3, "<uniqueID>0</uniqueID>");
    w.Line(3, "<things>");
    for (int32_t i = 0; i < 4 * n; ++i) {
        const bool fuel = i % 10 == 9;
        WriteThing(w, fuel ? "LiquidFuel" : "Filth", fuel ? "Filth_Fuel" : "Filth_Dirt",
                   std::string(fuel ? "Filth_Fuel" : "Filth_Dirt") + std::to_string(i + 1),
                   [&] { w.Line(5, "<thickness>" + std::to_string(1 + rng() % 3) + "</thickness>"); });
        if (i % 8 == 0) WriteThing(w, "Plant", "Plant_Grass", "Plant_Grass" + std::to_string(i + 1));
    }
    for (int32_t i = 0; i < n; i += 3) {
        WriteThing(w, "Corpse", "Corpse_Human", "Corpse_Human" + std::to_string(i + 1), [&] {
            w.Line(5, "<innerContainer><innerList><li>Thing_" + PawnId(dead + i) + "</li></innerList></innerContainer>");
        });
    }
    WriteThing(w, "Building_Grave", "Grave", "Grave1", [&] {
        w.Line(5, "<innerContainer><innerList>");
        for (int32_t i = 0; i < n; i += 7)
            w.Line(6, "<li Class=\"Corpse\"><def>Corpse_Human</def><id>Corpse_Grave" + std::to_string(i + 1) +
                          "</id><innerContainer><innerList><li>Thing_" + PawnId(dead + i) +
                          "</li></innerList></innerContainer></li>");
        w.Line(5, "</innerList></innerContainer>");
    });
    for (int32_t i = 0; i < n; i += 5)
        WriteThing(w, "Building_Art", "Sculpture", "Sculpture" + std::to_string(i + 1),
                   [&] { w.Line(5, "<taleRef><tale>Tale_" + std::to_string(i + 1) + "</tale><seed>7</seed></taleRef>"); });
    if (n > 0) {
        WriteThing(w, "Pawn", "Human", "Human1", [&] {
            w.Line(5, "<hediffs><li Class=\"Hediff_Injury\"><combatLogEntry>LogEntry_9000_" + std::to_string(n + 1) +
                          "</combatLogEntry></li></hediffs>");
            w.Line(5, "<records><battleActive>Battle_" + std::to_string(std::max(n / 4, 1)) + "</battleActive></records>");
            w.Line(5, "<directRelations><li><otherPawn>Thing_" + PawnId(dead + 1) + "</otherPawn></li></directRelations>");
        });
    }
    w.Line(3, "</things>");
    w.Line(3, "<reservationManager>");
    w.Line(4, "<reservations>");
    for (int32_t i = 0; i < 4 * n; i += 50)
        w.Line(5, "<li><claimant>Thing_Human1</claimant><target>Thing_Filth_Dirt" + std::to_string(i + 1) + "</target></li>");
    w.Line(4, "</reservations>");
    w.Line(3, "</reservationManager>");
    w.Line(3, "</li>");
    w.Line(2, "</maps>");
}

}  // namespace

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
    const int32_t dead = DeadBase(pawns, mothballed);
    if (o.extras > 0) WriteLogs(w, o, dead);
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
    if (o.extras > 0 || o.chain > 0) {
        std::mt19937_64 aside(o.seed * 137 + 5);  // the living pawns are the same with or without these
        w.Line(4, "<pawnsDead>");
        for (int32_t i = 0; i < o.extras; ++i) WritePawn(w, aside, o, dead + i, 0, false);
        for (int32_t i = 0; i < o.chain; ++i) {
            w.Line(5, "<li>");
            w.Line(6, "<def>Human</def>");
            w.Line(6, "<id>" + PawnId(dead + o.extras + i) + "</id>");
            if (i + 1 < o.chain)
                w.Line(6, "<social><directRelations><li><otherPawn>Thing_" + PawnId(dead + o.extras + i + 1) +
                              "</otherPawn></li></directRelations></social>");
            w.Line(5, "</li>");
        }
        w.Line(4, "</pawnsDead>");
    } else {
        w.Line(4, "<pawnsDead />");
    }
    if (mothballed == 0) w.Line(4, "<pawnsForcefullyKeptAsWorldPawns />");
    w.Line(3, "</worldPawns>");
    WriteWorldObjects(w, held.caravan, held.pods);
    if (o.chain > 0) w.Line(3, "<storyWatcher><lastDeath>Thing_" + PawnId(dead + o.extras) + "</lastDeath></storyWatcher>");
    w.Line(2, "</world>");
    if (o.extras > 0) {
        std::mt19937_64 aside(o.seed * 139 + 7);
        WriteMap(w, aside, o, dead);
    }
    w.Line(2, "<tickManager>");
    w.Line(3, "<ticksGame>" + std::to_string(rng() % 10000000) + "</ticksGame>");
    w.Line(2, "</tickManager>");
    w.Line(1, "</game>");
    w.Line(0, "</savegame>");
    return out;
}

}  // namespace tools
