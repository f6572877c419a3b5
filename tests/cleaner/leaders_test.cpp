// Leader ids from the faction section: the cut of the section and the scan's edge rules.
#include <string>
#include <vector>

#include "cleaner/leaders.h"
#include "tests/runtime/helpers.h"

namespace {

using namespace runtime;
using testutil::Bytes;
using testutil::OwnedBytes;
using testutil::Str;

std::vector<std::string> Leaders(const std::string& save) {
    OwnedBytes file = Bytes(save);
    ArrayCell ids = NewTextArray();
    AppendMember(ids, "stale");  // the list is emptied first
    cleaner::CollectLeaderIds(cleaner::FactionSection(cleaner::SaveView::Of(file.get())), ids);
    std::vector<std::string> out;
    for (int32_t i = 1; i <= ArrayMemberCount(*ids); ++i)
        out.push_back(Str(TextMemberAt(ReferenceMember(*ids, i))));
    ReleaseArray(ids);
    return out;
}

std::string Ref(const std::string& value) { return "<li><leader>" + value + "</leader></li>"; }

TEST(Leaders, CollectedInFactionOrder) {
    const std::string pad(600, ' ');
    struct Row {
        std::string save;
        std::vector<std::string> ids;
    } rows[] = {
        {"<factionManager>" + pad + Ref("Thing_Human10") + pad + Ref("Faction_2") + pad +
             Ref("Thing_Human30") + "</factionManager>",
         {"Human10", "Human30"}},
        {"<factionManager>" + pad + Ref("Thing_A") + pad + Ref("Thing_A") + "</factionManager>",
         {"A", "A"}},
        // An earlier end tag from 500 characters before the id on is the one found: B's id
        // starts 500 (then 501) characters after A's "</leader>".
        {"<factionManager>" + Ref("Thing_A") + std::string(468, ' ') + Ref("Thing_B") + "</factionManager>", {"A", ""}},
        {"<factionManager>" + Ref("Thing_A") + std::string(469, ' ') + Ref("Thing_B") + "</factionManager>", {"A", "B"}},
        // The next reference is looked for from 10 characters into the id.
        {"<factionManager><leader>Thing_123456789A<leader>Thing_C</leader></factionManager>",
         {"123456789A<leader>Thing_C", "C"}},
        // No end tag at all: the reference still counts, with an empty id.
        {"<factionManager><leader>Thing_A</factionManager>", {""}},
        // No opening tag: the section runs from the first byte.
        {Ref("Thing_X") + "</factionManager>", {"X"}},
        // No closing tag: the section is empty.
        {pad + "<factionManager>" + Ref("Thing_X"), {}},
        // A NUL ends the section's text.
        {"<factionManager>" + pad + Ref("Thing_A") + std::string(1, '\0') + Ref("Thing_B") +
             "</factionManager>",
         {"A"}},
        // The save is UTF-8: a tag right after a Chinese character is still found.
        {"<factionManager>" + pad + "\xE4\xBC\xA4<leader>Thing_C</leader></factionManager>", {"C"}},
        {"", {}},
    };
    for (const Row& r : rows) EXPECT_EQ(Leaders(r.save), r.ids) << r.save.substr(0, 80);
}

}  // namespace
