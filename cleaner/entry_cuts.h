// The cuts by text position that take a leader's entry out of the list: back from its id
// marker to the "</li>" before it, then forward through the "</li>" that the scan of
// opening and closing tags takes for the entry's own. They fit the game's Windows layout;
// the pruning checks what they cut before it writes it.
#pragma once

#include <cstdint>
#include <vector>

#include "cleaner/source.h"

namespace cleaner {

// The list's text as the cuts see it: from the "<" of its opening tag (position 1) through
// its closing tag, or up to a NUL byte before that. Searched by the runtime's rules: a
// search finds the first occurrence at or after its start (from 1 for a start of 0 or
// less), or -1.
class SectionText {
public:
    virtual ~SectionText() = default;
    int32_t Length() const { return length_; }
    virtual int32_t Find(const uint8_t* sought, int32_t m, int64_t start) = 0;
    template <size_t N>
    int32_t Find(const char (&sought)[N], int64_t start) {
        return Find(reinterpret_cast<const uint8_t*>(sought), static_cast<int32_t>(N - 1), start);
    }
    // The `n` bytes from position `at` (all within the text), valid until the next call.
    virtual const uint8_t* Bytes(int64_t at, int32_t n) = 0;
    // False once a read of the save failed: every answer since then is void.
    virtual bool Read() const { return true; }

protected:
    explicit SectionText(int32_t length) : length_(length) {}
    int32_t length_;
};

// A text held in memory.
class TextInMemory : public SectionText {
public:
    TextInMemory(const uint8_t* data, int32_t length) : SectionText(length), data_(data) {}
    int32_t Find(const uint8_t* sought, int32_t m, int64_t start) override;
    const uint8_t* Bytes(int64_t at, int32_t) override { return data_ + (at - 1); }

private:
    const uint8_t* data_;
};

// A text read from the save by offset, a window at a time.
class TextInSave : public SectionText {
public:
    TextInSave(SaveSource& source, int64_t offset, int32_t length) : SectionText(length), source_(source), offset_(offset) {}
    int32_t Find(const uint8_t* sought, int32_t m, int64_t start) override;
    const uint8_t* Bytes(int64_t at, int32_t n) override;
    bool Read() const override { return read_; }

private:
    // The window holds positions [from_, from_ + window_.size()).
    bool Load(int64_t at, int64_t n, bool aligned);

    SaveSource& source_;
    int64_t offset_;
    std::vector<uint8_t> window_;
    int64_t from_ = 0;
    bool read_ = true;
};

// FindEntryStart's answer when no "</li>" lies in the 10000 positions before a marker that
// stands after position 10000: the entry cannot be delimited (error code 01).
constexpr int32_t kEntryStartLost = 0;

// Position of the "</li>" that ends the item before the marker at `marker` (or the
// substitute 12).
int32_t FindEntryStart(SectionText& section, int32_t marker);
// Position of the "</li>" that closes the entry starting at `entry_start`, the substitute
// Slen - 17, or -1.
int32_t FindEntryEnd(SectionText& section, int32_t entry_start);

}  // namespace cleaner
