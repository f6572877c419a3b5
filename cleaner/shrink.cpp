// The closure over the references: what stays names what must stay.
#include "cleaner/shrink.h"

#include <algorithm>

namespace cleaner {

namespace {

bool Before(const Span& a, const Span& b) { return a.begin < b.begin; }

// `at` stands inside one of the stretches (sorted, disjoint).
bool Inside(const std::vector<Span>& spans, int64_t at) {
    auto after = std::upper_bound(spans.begin(), spans.end(), Span{at, at}, Before);
    return after != spans.begin() && std::prev(after)->end > at;
}

}  // namespace

Shrunk Shrink(const SaveIndex& index, const ExtraKinds& kinds, std::vector<Span> removed) {
    std::vector<const ExtraItem*> asked;
    for (const ExtraItem& item : index.extras)
        if (kinds[static_cast<size_t>(item.kind)]) asked.push_back(&item);
    std::vector<bool> gone(asked.size(), true);
    std::sort(removed.begin(), removed.end(), Before);
    for (bool changed = true; changed;) {
        std::vector<Span> spans = removed;
        for (size_t k = 0; k < asked.size(); ++k)
            if (gone[k]) spans.push_back({asked[k]->begin, asked[k]->end});
        std::inplace_merge(spans.begin(), spans.begin() + static_cast<std::ptrdiff_t>(removed.size()), spans.end(), Before);
        std::vector<uint64_t> named;
        for (const Reference& reference : index.references)
            if (!Inside(spans, reference.at)) named.push_back(reference.name);
        std::sort(named.begin(), named.end());
        changed = false;
        for (size_t k = 0; k < asked.size(); ++k) {
            if (!gone[k]) continue;
            const uint64_t* names = index.extra_names.data() + asked[k]->names_at;
            gone[k] = std::none_of(names, names + asked[k]->names,
                                   [&named](uint64_t name) { return std::binary_search(named.begin(), named.end(), name); });
            changed = changed || !gone[k];
        }
    }
    Shrunk out;
    for (size_t kind = 0; kind < kExtraKinds; ++kind)
        if (kinds[kind]) out.counts[kind].items = 0;
    for (size_t k = 0; k < asked.size(); ++k) {
        if (!gone[k]) continue;
        ExtraCount& count = out.counts[static_cast<size_t>(asked[k]->kind)];
        ++count.items;
        count.bytes += asked[k]->end - asked[k]->space;
        out.cuts.push_back({asked[k]->space, asked[k]->end});
    }
    return out;
}

}  // namespace cleaner
