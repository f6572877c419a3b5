#include "cleaner/assemble.h"


namespace cleaner {

namespace {

constexpr char kItemSeparator[] = "\r\n\t\t\t\t\t";
constexpr char kListEnd[] = "\r\n\t\t\t\t";

SaveView Constant(const char* text, size_t n) { return {reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(n)}; }

}  // namespace

std::vector<SaveView> ListPieces(const std::vector<SaveView>& items) {
    std::vector<SaveView> pieces;
    for (const SaveView& item : items) {
        pieces.push_back(Constant(kItemSeparator, sizeof kItemSeparator - 1));
        pieces.push_back(item);
    }
    pieces.push_back(Constant(kListEnd, sizeof kListEnd - 1));
    return pieces;
}

std::vector<SaveView> OutputPieces(SaveView file, const std::vector<Splice>& splices) {
    std::vector<SaveView> parts;
    auto add = [&parts](SaveView part) {
        if (part.length > 0) parts.push_back(part);
    };
    int64_t at = 0;
    for (const Splice& splice : splices) {
        add(file.MidBytes(at + 1, splice.from - at));
        for (const SaveView& piece : splice.pieces) add(piece);
        at = splice.to;
    }
    add(file.MidBytes(at + 1, int64_t{file.length} - at));
    return parts;
}

}  // namespace cleaner
