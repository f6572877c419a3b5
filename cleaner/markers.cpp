// The id markers, found in one pass over the "<id>" tags.
#include "cleaner/markers.h"

#include <algorithm>
#include <string>

namespace cleaner {

// An id with no "</id>" inside it is marked at q exactly when the text from q + 4 to the
// first "</id>" after it is that id ("</id>" has no part that is also its start, so no
// earlier "</id>" can overlap the marker's end). Any other id is looked for as it stands.
MarkerSearch::MarkerSearch(SaveView list, const std::vector<std::string_view>& ids) : list_(list.data), found_(ids.size(), -1) {
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i].find("</id>") == std::string_view::npos) {
            wanted_.emplace_back(ids[i], i);
            continue;
        }
        std::string marker = "<id>" + std::string(ids[i]) + "</id>";
        found_[i] = list.Find(reinterpret_cast<const uint8_t*>(marker.data()), static_cast<int32_t>(marker.size()), 1);
    }
    std::sort(wanted_.begin(), wanted_.end());
    unmarked_ = wanted_.size();
}

void MarkerSearch::Tag(const uint8_t* at, std::string_view id) {
    const auto position = static_cast<int32_t>(at - list_) + 1;
    auto match = std::lower_bound(wanted_.begin(), wanted_.end(), std::pair<std::string_view, size_t>(id, 0));
    for (; match != wanted_.end() && match->first == id; ++match) {
        if (found_[match->second] != -1) break;  // equal ids are marked together
        found_[match->second] = position;
        --unmarked_;
    }
}

std::vector<int32_t> FindMarkers(SaveView list, const std::vector<std::string_view>& ids) {
    MarkerSearch search(list, ids);
    int32_t end_tag = 0;
    for (int32_t q = list.Find("<id>"); q != -1 && !search.Done(); q = list.Find("<id>", q + 1)) {
        int32_t id_start = q + 4;
        if (end_tag < id_start) end_tag = list.Find("</id>", id_start);
        if (end_tag == -1) break;
        search.Tag(list.data + (q - 1), std::string_view(reinterpret_cast<const char*>(list.data) + (id_start - 1),
                                       static_cast<size_t>(end_tag - id_start)));
    }
    return search.Found();
}

}  // namespace cleaner
