// All an index holds, as text: the two readings of a save must give the same.
#pragma once

#include <string>

#include "cleaner/save_index.h"

namespace indexdump {

inline std::string Dump(const cleaner::SaveIndex& index) {
    std::string out = "size " + std::to_string(index.size) + " nul " + std::to_string(index.first_nul_in_living) +
                      (index.cut_short ? " cut" : "") + (index.marker_spelled_otherwise ? " otherwise" : "") + "\nfactions " +
                      std::to_string(index.factions.begin) + "-" + std::to_string(index.factions.end) + "\nleaders";
    for (cleaner::IdRef ref : index.leaders) out += " " + std::string(index.Id(ref));
    out += "\nheld";
    for (cleaner::IdRef ref : index.held) out += " " + std::string(index.Id(ref));
    out += "\nmarkers";
    for (int64_t at : index.markers) out += " " + std::to_string(at);
    for (const cleaner::ItemList* list : {&index.living, &index.mothballed, &index.kept_forever}) {
        out += "\nlist " + std::to_string(list->open.begin) + "-" + std::to_string(list->open.end) + " " +
               std::to_string(list->close.begin) + "-" + std::to_string(list->close.end) + ":";
        for (const cleaner::Item& item : list->items)
            out += " " + std::to_string(item.begin) + "-" + std::to_string(item.end) + (item.has_id ? "=" + std::string(index.Id(item)) : "");
    }
    out += "\nextras";
    for (const cleaner::ExtraItem& item : index.extras) {
        out += " " + std::to_string(static_cast<int>(item.kind)) + "@" + std::to_string(item.space) + "/" +
               std::to_string(item.begin) + "-" + std::to_string(item.end) + "[";
        for (uint32_t i = 0; i < item.names; ++i) out += std::to_string(index.extra_names[item.names_at + i] % 100000) + " ";
        out += "]";
    }
    out += "\nreferences";
    for (const cleaner::Reference& reference : index.references)
        out += " " + std::to_string(reference.at) + ":" + std::to_string(reference.name % 100000);
    return out + "\n";
}

// The index of `save` read in chunks of `chunk` bytes, the one way or the other.
inline std::string Indexed(const std::string& save, size_t chunk, bool extras, cleaner::Reading reading) {
    cleaner::MemorySource source({reinterpret_cast<const uint8_t*>(save.data()), save.size()}, chunk);
    cleaner::SaveIndex index;
    if (!cleaner::IndexSave(source, &index, extras, reading)) return "unread";
    return Dump(index);
}

}  // namespace indexdump
