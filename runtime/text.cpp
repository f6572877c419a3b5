// Text and byte-set operations: joining, comparing, measuring, cutting and searching.
#include "runtime/text.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/memory.h"

namespace runtime {

int32_t TextLengthOf(ConstText t) {
    if (t == nullptr) return 0;
    size_t n = std::strlen(t);
    if (n > INT32_MAX) OutOfMemory();  // no block of ours is this long
    return static_cast<int32_t>(n);
}

int32_t BytesLengthOf(ConstByteSet b) { return b == nullptr ? 0 : b->length; }

Text MakeText(const void* bytes, int32_t n) {
    if (n <= 0) return nullptr;
    auto t = static_cast<Text>(AllocateMemory(SizeSum(n, 1)));
    std::memcpy(t, bytes, static_cast<size_t>(n));
    return t;
}

ByteSet NewByteSet(int32_t n) {
    if (n <= 0) return nullptr;
    auto b = static_cast<ByteSet>(AllocateMemory(SizeSum(n, 8)));
    b->dimension_count = 1;
    b->length = n;
    return b;
}

ByteSet MakeByteSet(const void* bytes, int32_t n) {
    ByteSet b = NewByteSet(n);
    if (b != nullptr) std::memcpy(BytesData(b), bytes, static_cast<size_t>(n));
    return b;
}

Text ConcatText(std::initializer_list<ConstText> parts) {
    int64_t total = 0;
    for (ConstText p : parts) total += TextLengthOf(p);
    auto t = static_cast<Text>(AllocateMemory(SizeSum(total, 1)));
    char* at = t;
    for (ConstText p : parts) {
        size_t n = static_cast<size_t>(TextLengthOf(p));
        if (n > 0) std::memcpy(at, p, n);
        at += n;
    }
    return t;
}

ByteSet ConcatBytes(std::initializer_list<ConstByteSet> parts) {
    int64_t total = 0;
    for (ConstByteSet p : parts) total += BytesLengthOf(p);
    if (total == 0) return nullptr;
    if (total > INT32_MAX) OutOfMemory();
    auto b = static_cast<ByteSet>(AllocateMemory(SizeSum(total, 8)));
    b->dimension_count = 1;
    b->length = static_cast<int32_t>(total);
    uint8_t* at = BytesData(b);
    for (ConstByteSet p : parts) {
        if (BytesLengthOf(p) <= 0) continue;
        std::memcpy(at, BytesData(p), static_cast<size_t>(p->length));
        at += p->length;
    }
    return b;
}

int CompareText(ConstText a, ConstText b) {
    auto x = reinterpret_cast<const unsigned char*>(a == nullptr ? "" : a);
    auto y = reinterpret_cast<const unsigned char*>(b == nullptr ? "" : b);
    for (;; ++x, ++y) {
        if (*x != *y) return *x < *y ? -1 : 1;
        if (*x == 0) return 0;
    }
}

int32_t TextLength(ArgList args) { return TextLengthOf(args[0].AsText()); }

Text SpaceText(ArgList args) {
    int32_t count = args[0].AsInt32();
    if (count <= 0) return nullptr;
    auto t = static_cast<Text>(AllocateMemory(SizeSum(count, 1)));
    std::memset(t, ' ', static_cast<size_t>(count));
    return t;
}

Text LeftText(ArgList args) {
    ConstText t = args[0].AsText();
    int32_t L = TextLengthOf(t), count = args[1].AsInt32();
    if (L == 0 || count <= 0) return nullptr;
    return MakeText(t, std::min(count, L));
}

Text RightText(ArgList args) {
    ConstText t = args[0].AsText();
    int32_t L = TextLengthOf(t), count = args[1].AsInt32();
    if (L == 0 || count <= 0) return nullptr;
    int32_t n = std::min(count, L);
    return MakeText(t + (L - n), n);
}

Cut MidTextCut(int32_t L, int32_t start, int32_t count) {
    if (L <= 0 || count <= 0 || start <= 0 || start > L) return {0, 0};
    if (static_cast<int64_t>(start) + count > L) count = L - start + 1;
    return {start - 1, count};
}

Cut MidBytesCut(int32_t L, int32_t start, int32_t count) {
    if (L <= 0 || count <= 0) return {0, 0};
    if (static_cast<int64_t>(start) - 1 > L) return {0, 0};
    if (start <= 0) start = 1;  // unlike MidText
    if (static_cast<int64_t>(start) + count - 1 >= L) count = L - start + 1;
    return {start - 1, count};
}

Text MidText(ArgList args) {
    ConstText t = args[0].AsText();
    Cut cut = MidTextCut(TextLengthOf(t), args[1].AsInt32(), args[2].AsInt32());
    return MakeText(t + cut.offset, cut.count);
}

namespace {

inline unsigned char FoldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool EqualFolded(const unsigned char* a, const unsigned char* b, int32_t m) {
    for (int32_t i = 0; i < m; ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// A start argument that is absent or 0 or below means position 1.
int32_t StartOf(const TaggedValue& v) {
    return (v.Present() && v.AsInt32() > 0) ? v.AsInt32() : 1;
}

}  // namespace

int32_t FindTextIn(const char* subject, int32_t L, const char* sought, int32_t m, int32_t start,
                   bool ignore_case) {
    if (L == 0 || m == 0 || m > L) return -1;
    if (start <= 0) start = 1;
    if (start > L - m + 1) return -1;
    auto s = reinterpret_cast<const unsigned char*>(subject);
    auto k = reinterpret_cast<const unsigned char*>(sought);
    for (int32_t p = start - 1; p <= L - m;) {
        bool match = ignore_case ? EqualFolded(s + p, k, m) : std::memcmp(s + p, k, m) == 0;
        if (match) return p + 1;
        p += s[p] >= 0x80 ? 2 : 1;  // step over a two-byte character
    }
    return -1;
}

int32_t FindText(ArgList args) {
    ConstText subject = args[0].AsText(), sought = args[1].AsText();
    bool ignore_case = args[3].Present() && args[3].value != 0;
    return FindTextIn(subject, TextLengthOf(subject), sought, TextLengthOf(sought),
                      StartOf(args[2]), ignore_case);
}

namespace {

// Candidates by the first byte, whole comparisons only there: memchr does the scanning.
// The first start in [at, last] where `sought` begins, or null.
const uint8_t* SearchByFirstByte(const uint8_t* at, const uint8_t* last, const uint8_t* sought, size_t m) {
    while (at <= last) {
        at = static_cast<const uint8_t*>(std::memchr(at, sought[0], static_cast<size_t>(last - at) + 1));
        if (at == nullptr || std::memcmp(at, sought, m) == 0) return at;
        ++at;
    }
    return nullptr;
}

// Sixty-four starts at a time, in four blocks of sixteen: a start is a candidate where its
// first byte, its middle one and its last one are the sought ones, and only candidates are
// compared whole. The middle rather than the second: in a save "</" begins every closing
// tag, and "<" + letter + ">" many short ones. Every build has SSE2, the 32-bit product
// included. For m >= 2; same answer as above.
const uint8_t* SearchByEnds(const uint8_t* at, const uint8_t* last, const uint8_t* sought, size_t m) {
#if defined(__SSE2__)
    const size_t mid = m / 2;
    const __m128i first = _mm_set1_epi8(static_cast<char>(sought[0]));
    const __m128i middle = _mm_set1_epi8(static_cast<char>(sought[mid]));
    const __m128i final_byte = _mm_set1_epi8(static_cast<char>(sought[m - 1]));
    auto candidates = [&](const uint8_t* from) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + mid));
        const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + m - 1));
        return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, middle)), _mm_cmpeq_epi8(z, final_byte))))};
    };
    // The windows of the starts taken end at most at last + m - 1, the subject's last byte.
    for (ptrdiff_t step = 64; step >= 16; step -= 48) {
        for (; last - at >= step - 1; at += step) {
            uint64_t mask = candidates(at);
            if (step == 64) mask |= candidates(at + 16) << 16 | candidates(at + 32) << 32 | candidates(at + 48) << 48;
            for (; mask != 0; mask &= mask - 1) {
                const uint8_t* candidate = at + __builtin_ctzll(mask);
                if (std::memcmp(candidate + 1, sought + 1, m - 1) == 0) return candidate;
            }
        }
    }
#endif
    return SearchByFirstByte(at, last, sought, m);
}

}  // namespace

int32_t FindBytesIn(const uint8_t* subject, int32_t L, const uint8_t* sought, int32_t m,
                    int32_t start) {
    if (L <= 0 || m <= 0 || m > L) return -1;
    if (start <= 0) start = 1;
    if (start > L - m + 1) return -1;
    const auto n = static_cast<size_t>(m);
    const uint8_t* at = subject + (start - 1);
    const uint8_t* last = subject + (L - m);
    const uint8_t* found = n == 1 ? SearchByFirstByte(at, last, sought, n) : SearchByEnds(at, last, sought, n);
    return found == nullptr ? -1 : static_cast<int32_t>(found - subject) + 1;
}

int32_t FindBytes(ArgList args) {
    ConstByteSet subject = args[0].AsByteSet(), sought = args[1].AsByteSet();
    if (subject == nullptr || sought == nullptr) return -1;
    return FindBytesIn(BytesData(subject), subject->length, BytesData(sought), sought->length,
                       StartOf(args[2]));
}

int32_t BytesLength(ArgList args) { return BytesLengthOf(args[0].AsByteSet()); }

ByteSet LeftBytes(ArgList args) {
    ConstByteSet b = args[0].AsByteSet();
    int32_t L = BytesLengthOf(b), count = args[1].AsInt32();
    if (L <= 0 || count <= 0) return nullptr;
    return MakeByteSet(BytesData(b), std::min(count, L));
}

ByteSet RightBytes(ArgList args) {
    ConstByteSet b = args[0].AsByteSet();
    int32_t L = BytesLengthOf(b), count = args[1].AsInt32();
    if (L <= 0 || count <= 0) return nullptr;
    int32_t n = std::min(count, L);
    return MakeByteSet(BytesData(b) + (L - n), n);
}

ByteSet MidBytes(ArgList args) {
    ConstByteSet b = args[0].AsByteSet();
    Cut cut = MidBytesCut(BytesLengthOf(b), args[1].AsInt32(), args[2].AsInt32());
    return cut.count > 0 ? MakeByteSet(BytesData(b) + cut.offset, cut.count) : nullptr;
}

}  // namespace runtime
