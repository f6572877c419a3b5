// Faction-leader collection over the faction section, seen in place.
#include "cleaner/leaders.h"

#include "cleaner/save_view.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace cleaner {

namespace {

// "<leader>Thing_" is 14 characters; the id follows it directly.
constexpr int32_t kLeaderTagLength = 14;
// The end tag is looked for from 500 characters before the id, not from the id: an earlier
// reference's end tag that close gives this reference an empty id.
constexpr int32_t kEndTagLookBack = 500;
// The next reference is looked for from 10 characters into this id.
constexpr int32_t kNextReferenceStep = 10;
constexpr int32_t kFactionEndTagLength = 17;  // "</factionManager>"

}  // namespace

SaveView FactionSection(SaveView file) {
    int32_t s = file.Find("<factionManager>");
    int32_t e = file.Find("</factionManager>");
    return file.MidBytes(s, int64_t{e} - s + kFactionEndTagLength).AsText();
}

void CollectLeaderIds(SaveView section, runtime::ArrayCell leader_ids) {
    int32_t p = section.Find("<leader>Thing_");
    runtime::ResizeArray(leader_ids, 0);
    while (p != -1) {
        p += kLeaderTagLength;
        int32_t t = section.Find("</leader>", p - kEndTagLookBack);
        SaveView id = section.MidText(p, t - p);
        runtime::OwnedText copy(runtime::MakeText(id.data, id.length));
        runtime::AppendMember(leader_ids, copy.get());
        p = section.Find("<leader>Thing_", p + kNextReferenceStep);
    }
}

}  // namespace cleaner
