// The closure over the references: what stays names what must stay.
#include "cleaner/shrink.h"

#include <algorithm>
#include <utility>

namespace cleaner {

namespace {

bool Before(const Span& a, const Span& b) { return a.begin < b.begin; }

// `at` stands inside one of the stretches (sorted, disjoint).
bool Inside(const std::vector<Span>& spans, int64_t at) {
    auto after = std::upper_bound(spans.begin(), spans.end(), Span{at, at}, Before);
    return after != spans.begin() && std::prev(after)->end > at;
}

}  // namespace

// Every asked item starts out gone. The references outside `removed` and outside every asked
// item name what must stay; an item put back makes the references inside it name more, so
// each is put back once, from a work list, and its references looked at once: the time is
// the references' and the items', however long the chains they make.
Shrunk Shrink(const SaveIndex& index, const ExtraKinds& kinds, std::vector<Span> removed) {
    std::vector<const ExtraItem*> asked;
    for (const ExtraItem& item : index.extras)
        if (kinds[static_cast<size_t>(item.kind)]) asked.push_back(&item);
    std::sort(removed.begin(), removed.end(), Before);

    // The asked items that answer to each name, by name.
    std::vector<std::pair<uint64_t, uint32_t>> answering;
    for (uint32_t k = 0; k < asked.size(); ++k)
        for (uint32_t i = 0; i < asked[k]->names; ++i) answering.emplace_back(index.extra_names[asked[k]->names_at + i], k);
    std::sort(answering.begin(), answering.end());

    std::vector<bool> gone(asked.size(), true);
    std::vector<uint32_t> back;  // put back, their references not looked at yet
    const auto named = [&](uint64_t name) {
        for (auto it = std::lower_bound(answering.begin(), answering.end(), std::make_pair(name, uint32_t{0}));
             it != answering.end() && it->first == name; ++it) {
            if (!gone[it->second]) continue;
            gone[it->second] = false;
            back.push_back(it->second);
        }
    };
    // The references inside each asked item; both stand in file order, the items apart.
    std::vector<std::vector<uint64_t>> inside(asked.size());
    size_t k = 0;
    for (const Reference& reference : index.references) {
        if (Inside(removed, reference.at)) continue;
        while (k < asked.size() && asked[k]->end <= reference.at) ++k;
        if (k < asked.size() && asked[k]->begin <= reference.at) inside[k].push_back(reference.name);
        else named(reference.name);
    }
    while (!back.empty()) {
        const uint32_t item = back.back();
        back.pop_back();
        for (uint64_t name : inside[item]) named(name);
    }

    Shrunk out;
    for (size_t kind = 0; kind < kExtraKinds; ++kind)
        if (kinds[kind]) out.counts[kind].items = 0;
    for (size_t i = 0; i < asked.size(); ++i) {
        if (!gone[i]) continue;
        ExtraCount& count = out.counts[static_cast<size_t>(asked[i]->kind)];
        ++count.items;
        count.bytes += asked[i]->end - asked[i]->space;
        out.cuts.push_back({asked[i]->space, asked[i]->end});
    }
    return out;
}

}  // namespace cleaner
