// Saves that are well-formed XML but spelled as no game writes them, made up from a seed: what
// an XML reader accepts and a reader of the save's structure must read as it does. Attribute
// values in either quote holding the other, ">", "/>", "=" and entities; texts holding ">" and
// "/>"; comments, CDATA sections and instructions between items and inside them; names and
// values of 31 to 200 bytes; blanks, tabs and line ends inside tags; ids, leaders and held
// pawns spelled with blanks, a character reference or a CDATA section. Everything after the
// save's first element is shifted by `shift` bytes, so that each construct falls at every
// offset of a block as the shift runs from 0 to 127.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

struct OddOptions {
    uint64_t seed = 1;
    int32_t shift = 0;
    int32_t pawns = 8;  // living world pawns; leaders, held, kept-forever and mothballed pawns among them
};

std::string OddSave(const OddOptions& options);

}  // namespace tools
