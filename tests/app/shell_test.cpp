// The save folder from what the shell gives, and the picker's filter list.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/picker.h"
#include "app/save_folder.h"
#include "app/shell.h"
#include "tests/runtime/helpers.h"

#if !defined(_WIN32)
#include <random>

#include "platform/posix/posix_text.h"
#endif

namespace {

using testutil::OwnedBytes;
using testutil::OwnedText;
using testutil::Str;

std::string& ProfileGiven() {
    static std::string path;
    return path;
}

int32_t FakeLocation(platform::WindowHandle, int folder, platform::ItemIdList** list) {
    *list = folder == platform::kCsidlProfile ? &ProfileGiven() : nullptr;
    return 0;
}

// Writes what it was given, as the shell does, into the MAX_PATH-byte buffer.
int FakePath(const platform::ItemIdList* list, char* path) {
    const std::string& given = *static_cast<const std::string*>(list);
    std::memcpy(path, given.c_str(), given.size() + 1);
    return 1;
}

class SaveFolder : public testutil::SlotTest {};

TEST_F(SaveFolder, IsTheProfileAndTheGamesPath) {
    const std::string suffix = "AppData\\LocalLow\\Ludeon Studios\\RimWorld\\Saves";
    const std::string long_path = "C:\\" + std::string(252, 'p');  // 255 bytes: the longest kept
    struct Row {
        std::string given, profile;
    } rows[] = {
        {"C:\\Users\\player", "C:\\Users\\player\\"},
        {"D:\\", "D:\\"},
        {"", ""},
        {long_path, long_path + "\\"},
        // Longer than the program keeps: as if there were no path, the bare suffix.
        {long_path + "q", ""},
        {"C:\\" + std::string(256, 'p'), ""},
    };
    platform::slots.SHGetSpecialFolderLocation = FakeLocation;
    platform::slots.SHGetPathFromIDListA = FakePath;
    for (const Row& r : rows) {
        ProfileGiven() = r.given;
        OwnedText profile(app::SpecialFolderPath(platform::kCsidlProfile));
        OwnedText folder(app::LocateSaveFolder());
        EXPECT_EQ(Str(profile), r.profile) << r.given;
        EXPECT_EQ(Str(folder), r.profile + suffix) << r.given;
    }
}

std::vector<std::string>& Existing() {
    static std::vector<std::string> paths;
    return paths;
}
int FakeExists(const char* path) { return std::find(Existing().begin(), Existing().end(), path) != Existing().end(); }

// The game's own folder where it exists; else the folder the program always named.
TEST_F(SaveFolder, StartsInTheGamesFolderWhereItExists) {
    const std::string profile = "C:\\Users\\player\\";
    const std::string game = profile + "AppData\\LocalLow\\Ludeon Studios\\RimWorld by Ludeon Studios\\Saves",
                      named = profile + "AppData\\LocalLow\\Ludeon Studios\\RimWorld\\Saves";
    const struct Row {
        std::vector<std::string> existing;
        std::string folder;
    } rows[] = {{{game, named}, game}, {{game}, game}, {{named}, named}, {{}, named}};
    platform::slots.SHGetSpecialFolderLocation = FakeLocation;
    platform::slots.SHGetPathFromIDListA = FakePath;
    platform::slots.PathFileExistsA = FakeExists;
    ProfileGiven() = profile;
    for (const Row& r : rows) {
        Existing() = r.existing;
        EXPECT_EQ(Str(OwnedText(app::LocateSaveFolder())), r.folder) << r.existing.size();
    }
}

std::string& KeeperCalls() {
    static std::string calls;
    return calls;
}
int RecordPlacement(platform::WindowHandle, platform::WindowHandle after, int, int, int, int, uint32_t flags) {
    KeeperCalls() += "place " + std::to_string(reinterpret_cast<intptr_t>(after)) + " " + std::to_string(flags) + "; ";
    return 1;
}
struct KeeperStopped {};
void RecordPause(uint32_t ms) {
    KeeperCalls() += "pause " + std::to_string(ms) + "; ";
    if (KeeperCalls().size() > 60) throw KeeperStopped{};
}

class Keeper : public testutil::SlotTest {};

// The keeper keeps the carrier on top without taking the keyboard from the picker and the
// boxes (SWP_NOACTIVATE), and rests between calls instead of keeping a processor busy.
TEST_F(Keeper, PlacesWithoutActivatingAndRests) {
    platform::slots.SetWindowPos = RecordPlacement;
    platform::slots.Sleep = RecordPause;
    EXPECT_THROW(app::TopmostKeeper(nullptr), KeeperStopped);
    EXPECT_EQ(KeeperCalls(), "place -1 19; pause 100; place -1 19; pause 100; place -1 19; pause 100; ");
}

TEST(Picker, FilterListSeparatesAtEveryBar) {
    struct Row {
        const char* filter;
        std::string list;
    } rows[] = {
        {app::kSaveFilter, std::string("*.rws\0*.rws\0\0", 13)},
        {"*.rws", std::string("*.rws\0\0", 7)},
        {"Saves|*.rws", std::string("Saves\0*.rws\0\0", 13)},
        {"a|b||c", std::string("a\0b\0\0c\0\0", 8)},
        {"", std::string("\0\0", 2)},
        {nullptr, std::string("\0\0", 2)},
    };
    for (const Row& r : rows) EXPECT_EQ(Str(OwnedBytes(app::FilterList(r.filter))), r.list);
}

// Split as Windows splits a command line, so a dropped path with blanks stays one path.
TEST(Arguments, SplitAsWindowsSplitsThem) {
    using List = std::vector<std::string>;
    struct Row {
        const char* line;
        List args;
    } rows[] = {
        {"", {}},
        {"  \t ", {}},
        {"a.rws b.rws", {"a.rws", "b.rws"}},
        {"\"C:\\My Saves\\Colony.rws\"", {"C:\\My Saves\\Colony.rws"}},
        {"x\"y z\"w  \"\"", {"xy zw", ""}},
        {"C:\\dir\\ \"C:\\dir\\\\\"", {"C:\\dir\\", "C:\\dir\\"}},  // 2n backslashes, then a quote
        {"a\\\"b", {"a\"b"}},                                              // 2n + 1: a quote of its own
        {"\"D:\\\x95\\\" x", {"D:\\\x95\\", "x"}},  // a GBK character ending in 0x5C escapes nothing
        {"\"D:\\存档\\Colony.rws\"", {"D:\\存档\\Colony.rws"}},
        {"\"My \xEC\" Good.rws", {"My \xEC", "Good.rws"}},  // a lead byte takes no quote or blank
        {"a\xEC b", {"a\xEC", "b"}},
    };
    for (const Row& r : rows) EXPECT_EQ(app::SplitArguments(r.line), r.args) << r.line;
}

#if !defined(_WIN32)
// The Linux stand-in quotes each argument so that the split gives it back: GBK names made of
// blanks, quotes, backslashes before quotes and GBK characters whose second byte is a
// backslash.
TEST(Arguments, QuotedNamesSplitBack) {
    const char* const pieces[] = {"a", " ", "\t", "\"", "\\", "\\\"", "\x95\\", "\xB4\xE6", "\x81\x40", "."};
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> names(1 + rng() % 3);
        std::string line;
        for (std::string& name : names) {
            for (int n = static_cast<int>(rng() % 6); n > 0; --n) name += pieces[rng() % std::size(pieces)];
            line += (line.empty() ? "" : " ") + platform::posix::QuoteArgument(name);
        }
        ASSERT_EQ(app::SplitArguments(line.c_str()), names) << line;
    }
}
#endif

}  // namespace
