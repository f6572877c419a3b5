// Odd but well-formed saves (odd_save.h).
#include "tools/odd_save.h"

#include <random>
#include <string>
#include <vector>

namespace tools {
namespace {

class Odd {
public:
    explicit Odd(uint64_t seed) : rng_(seed) {}

    // One of `n`.
    size_t Pick(size_t n) { return static_cast<size_t>(rng_() % n); }
    bool Sometimes() { return Pick(3) == 0; }

    // Blanks where XML allows them, none at all among them.
    std::string Blanks() {
        static const char* const kBlanks[] = {"", "", " ", "\t", "\r\n", "\n", " \t\r\n\t"};
        return kBlanks[Pick(std::size(kBlanks))];
    }
    // Blanks now and then (around an attribute's "=", where the game writes none).
    std::string Seldom() { return Pick(8) == 0 ? Blanks() : ""; }
    // At least one blank.
    std::string Gap() {
        const std::string b = Blanks();
        return b.empty() ? " " : b;
    }
    std::string Name(const char* kind) {
        if (Pick(8) != 0) return kind;
        return kind + std::string(31 + Pick(170), 'n');
    }
    // An attribute value's bytes, inside quotes `q`.
    std::string Value(char q) {
        const char other = q == '"' ? '\'' : '"';
        switch (Pick(16)) {
            case 0: return std::string("=") + other;
            case 1: return std::string("it") + other + "s";
            case 2: return "a>b";
            case 3: return "/>";
            case 4: return "x/>y";
            case 5: return "=";
            case 6: return "&amp;&lt;&gt;&quot;&apos;&#62;&#x2F;";
            case 7: return std::string(other == '"' ? "say \"hi\"" : "say 'hi'") + " >";
            case 8: {
                std::string v(31 + Pick(170), 'v');
                v[Pick(v.size())] = other;
                v[Pick(v.size())] = '>';
                return v;
            }
            case 9: return "";
            default: return "Pawn";
        }
    }
    // Now and then one to three attributes, named from `first` on, their quotes taken in turn;
    // now and then a value holding the other quote first, and a value in that quote holding
    // ">" or "/>" next (where a reader that took the quotes of each kind apart goes wrong).
    std::string Attributes(const char* first = "a") {
        std::string out;
        char q = Pick(2) ? '"' : '\'';
        const auto value = [&](const std::string& name, const std::string& v) {
            out += Gap() + name + Seldom() + "=" + Seldom() + q + v + q;
            q = q == '"' ? '\'' : '"';
        };
        if (Pick(6) == 0) {
            value(std::string(first) + "x", std::string("=") + (q == '"' ? '\'' : '"'));
            value(std::string(first) + "y", Pick(2) ? "x/>y" : "/>");
        }
        for (size_t n = Sometimes() ? 1 + Pick(3) : 0; n > 0; --n) value(Name(first) + std::to_string(n), Value(q));
        return out;
    }
    std::string Start(const std::string& name) { return "<" + name + Attributes() + Blanks() + ">"; }
    std::string Empty(const std::string& name) { return "<" + name + Attributes() + Blanks() + "/>"; }
    std::string End(const std::string& name) { return "</" + name + Blanks() + ">"; }

    // Markup and text where items stand or inside one.
    std::string Junk() {
        switch (Pick(16)) {
            case 0: return "<!-- <li><id>Human0</id></li> a > b /> -->";
            case 1: return "<?odd a=\"<li>\" b='/>' ?>";
            case 2: return Empty(Name("e"));
            case 3: {
                const std::string name = Name("note");
                static const char* const kTexts[] = {"a > b", "x/>y", "&lt;li&gt;", "<![CDATA[</li><li> > ' \" ]]>",
                                                     "it's \"so\"", "Thing_Human0 >"};
                return Start(name) + kTexts[Pick(std::size(kTexts))] + End(name);
            }
            default: return Blanks();
        }
    }
    // A text that reads as `text`: as it stands, with blanks around it, its first letter a
    // character reference, or in a CDATA section.
    std::string Spelled(const std::string& text) {
        switch (Pick(5)) {
            case 0: return Gap() + text + Gap();
            case 1: return "&#" + std::to_string(static_cast<unsigned char>(text[0])) + ";" + text.substr(1);
            case 2: return "<![CDATA[" + text + "]]>";
            default: return text;
        }
    }
    // An element holding `text`, spelled as above.
    std::string Holding(const std::string& name, const std::string& text) {
        return Start(name) + Spelled(text) + End(name);
    }

    std::string Pawn(const std::string& id) {
        std::string item = Start("li") + Junk() + Holding("def", "Human") + Junk() + Holding("id", id) + Junk();
        if (Sometimes()) item += Start("apparel") + Start("li") + Holding("id", "Parka" + id) + End("li") + End("apparel");
        return item + Junk() + End("li") + Junk();
    }

private:
    std::mt19937_64 rng_;
};

std::string Refs(Odd& odd, const std::string& name, const std::vector<std::string>& ids) {
    std::string out = odd.Start(name);
    for (const std::string& id : ids) out += odd.Junk() + odd.Holding("li", "Thing_" + id);
    return out + odd.End(name);
}

}  // namespace

std::string OddSave(const OddOptions& options) {
    Odd odd(options.seed);
    const int32_t n = options.pawns < 4 ? 4 : options.pawns;
    const auto id = [](int32_t i) { return "Human" + std::to_string(i); };
    std::string save = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<savegame>" + std::string(options.shift, ' ') +
                       odd.Start("meta") + odd.Junk() + "</meta>" + odd.Start("game");
    save += odd.Start("taleManager") + odd.Start("tales");
    for (int32_t i = 0; i < 3; ++i)
        save += odd.Start("li") + odd.Holding("id", std::to_string(i)) + odd.Start("pawnData") +
                odd.Holding("pawn", "Thing_Dead" + std::to_string(i)) + odd.End("pawnData") + odd.End("li") + odd.Junk();
    save += odd.End("tales") + odd.End("taleManager") + odd.Start("world");
    // Leaders: every third pawn; the first faction also has a kidnapped colonist.
    save += odd.Start("factionManager") + odd.Start("allFactions");
    for (int32_t i = 0; i < n; i += 3) {
        save += odd.Start("li") + odd.Junk() + odd.Holding("leader", "Thing_" + id(i)) + odd.Junk();
        if (i == 0) save += Refs(odd, "kidnappedPawns", {id(n - 1)});
        save += odd.End("li");
    }
    save += odd.End("allFactions") + odd.End("factionManager") + odd.Start("worldPawns");
    save += Refs(odd, "pawnsForcefullyKeptAsWorldPawns", {id(1), id(n)});
    save += odd.Start("pawnsAlive") + odd.Junk();
    for (int32_t i = 0; i < n; ++i) save += odd.Pawn(id(i));
    save += odd.End("pawnsAlive") + odd.Start("pawnsMothballed") + odd.Pawn(id(n)) + odd.Pawn(id(n + 1)) +
            odd.End("pawnsMothballed") + odd.Start("pawnsDead");
    for (int32_t i = 0; i < 4; ++i) save += odd.Pawn("Dead" + std::to_string(i));
    save += odd.End("pawnsDead") + odd.End("worldPawns");
    save += odd.Start("worldObjects") + odd.Start("worldObjects") + odd.Start("li") +
            Refs(odd, "pawns", {id(2), id(n - 2), "Parka" + id(4)}) + odd.End("li") + odd.End("worldObjects") +
            odd.End("worldObjects") + odd.End("world");
    // A map's things: filth, its class in either quote among other attributes.
    save += odd.Start("maps") + odd.Start("li") + odd.Start("things");
    for (int32_t i = 0; i < 6; ++i) {
        const char q = odd.Pick(2) ? '"' : '\'';
        const std::string cls = i % 2 ? "Filth" : "Building";
        save += "<thing" + odd.Attributes() + odd.Gap() + "Class" + odd.Seldom() + "=" + odd.Seldom() + q + cls + q +
                odd.Attributes("b") + odd.Blanks() + ">" + odd.Holding("id", "Filth_Blood" + std::to_string(i)) +
                odd.End("thing") + odd.Junk();
    }
    save += odd.End("things") + odd.End("li") + odd.End("maps");
    save += odd.Start("playLog") + odd.Start("entries");
    for (int32_t i = 0; i < 3; ++i) save += odd.Start("li") + odd.Holding("logID", std::to_string(i)) + odd.End("li");
    save += odd.End("entries") + odd.End("playLog");
    return save + odd.End("game") + odd.Junk() + "</savegame>" + odd.Blanks();
}

}  // namespace tools
