#include "cleaner/assemble.h"

namespace cleaner {

namespace {

constexpr char kItemSeparator[] = "\r\n\t\t\t\t\t";
constexpr char kListEnd[] = "\r\n\t\t\t\t";

template <size_t N>
Piece Constant(const char (&text)[N]) {
    return {0, static_cast<int64_t>(N - 1), reinterpret_cast<const uint8_t*>(text)};
}

}  // namespace

std::vector<Piece> ListPieces(const std::vector<Piece>& items) {
    std::vector<Piece> pieces;
    for (const Piece& item : items) {
        pieces.push_back(Constant(kItemSeparator));
        pieces.push_back(item);
    }
    pieces.push_back(Constant(kListEnd));
    return pieces;
}

bool OutputPieces(int64_t size, const std::vector<Splice>& splices, std::vector<Piece>* pieces) {
    std::vector<Piece>& parts = *pieces;
    parts.clear();
    auto add = [&parts](const Piece& part) {
        if (part.length > 0) parts.push_back(part);
    };
    int64_t at = 0;
    for (const Splice& splice : splices) {
        if (splice.from < at || splice.to < splice.from || splice.to > size) {
            parts.clear();
            return false;
        }
        add(Stretch(at, splice.from));
        for (const Piece& piece : splice.pieces) add(piece);
        at = splice.to;
    }
    add(Stretch(at, size));
    return true;
}

}  // namespace cleaner
