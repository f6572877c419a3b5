// Where the cleaner reads a save from: front to back in chunks, once, and then a few short
// stretches again by offset. The run reads the save's file; tests and the fuzz target read
// bytes in memory the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace cleaner {

class SaveSource {
public:
    virtual ~SaveSource() = default;
    virtual int64_t Size() const = 0;
    // The next chunk, empty at the end; false when the read failed or came up short. With
    // `keep`, the chunk begins with the last `keep` bytes of the one before (at most
    // kLongestKeep), then the bytes that follow them: none at the end.
    static constexpr size_t kLongestKeep = 4096;
    virtual bool Next(std::span<const uint8_t>* chunk, size_t keep = 0) = 0;
    // The `n` bytes at `offset` into `out`; false when they cannot all be read.
    virtual bool ReadAt(int64_t offset, uint8_t* out, size_t n) = 0;
};

// Bytes in memory, handed out `chunk` bytes at a time into one buffer, as a file's are; where
// the address sanitizer runs, the buffer's bytes outside the chunk are poisoned, so that a
// read before or after a chunk shows.
class MemorySource : public SaveSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes, size_t chunk = 256 * 1024) : bytes_(bytes), chunk_(chunk) {}
    ~MemorySource() override;

    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
    bool Next(std::span<const uint8_t>* chunk, size_t keep = 0) override;
    bool ReadAt(int64_t offset, uint8_t* out, size_t n) override;

private:
    std::span<const uint8_t> bytes_;
    size_t chunk_;
    size_t at_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t capacity_ = 0;
};

}  // namespace cleaner
