// The id markers, found in one pass over the "<id>" tags.
#include "cleaner/markers.h"

#include <algorithm>
#include <string>
#include <utility>

namespace cleaner {

// An id with no "</id>" inside it is marked at q exactly when the text from q + 4 to the
// first "</id>" after it is that id ("</id>" has no part that is also its start, so no
// earlier "</id>" can overlap the marker's end). Any other id is looked for as it stands.
std::vector<int32_t> FindMarkers(SaveView list, const std::vector<std::string_view>& ids) {
    std::vector<int32_t> found(ids.size(), -1);
    std::vector<std::pair<std::string_view, size_t>> wanted;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i].find("</id>") == std::string_view::npos) {
            wanted.emplace_back(ids[i], i);
            continue;
        }
        std::string marker = "<id>" + std::string(ids[i]) + "</id>";
        found[i] = list.Find(reinterpret_cast<const uint8_t*>(marker.data()), static_cast<int32_t>(marker.size()), 1);
    }
    std::sort(wanted.begin(), wanted.end());
    size_t unmarked = wanted.size();

    int32_t end_tag = 0;
    for (int32_t q = list.Find("<id>"); q != -1 && unmarked > 0; q = list.Find("<id>", q + 1)) {
        int32_t id_start = q + 4;
        if (end_tag < id_start) end_tag = list.Find("</id>", id_start);
        if (end_tag == -1) break;
        std::string_view candidate(reinterpret_cast<const char*>(list.data) + (id_start - 1),
                                   static_cast<size_t>(end_tag - id_start));
        auto match = std::lower_bound(wanted.begin(), wanted.end(), std::pair<std::string_view, size_t>(candidate, 0));
        for (; match != wanted.end() && match->first == candidate; ++match) {
            if (found[match->second] != -1) break;  // equal ids are marked together
            found[match->second] = q;
            --unmarked;
        }
    }
    return found;
}

}  // namespace cleaner
