// The save's markup as an XML reader sees it, fed in chunks of any size.
//
// Start tags: a name, then any XML whitespace (space, tab, CR, LF) before attributes, ">" or
// "/>"; attribute values in double or single quotes, which may hold ">". End tags: a name,
// whitespace allowed before ">". Comments, CDATA sections, processing instructions, the
// declaration and a document type are markup that holds no tags; a CDATA section's content
// is text, as is everything else (a byte-order mark included). The state carries across
// chunks, so a chunk may end anywhere: inside a name, a quoted value, a comment's "-->" or a
// character of several bytes.
//
// Events go to a sink, with file offsets:
//   void Tag(const Tag& tag);    every start, end and empty-element tag
//   bool WantsText() const;      asked after every tag: deliver the text that follows?
//   void Text(int64_t at, const uint8_t* bytes, size_t n);
//                                that text, from offset `at`, in as many parts as it takes
// Text is delivered up to the next tag; markup inside it (a comment) splits it into parts.
// Only "<" starts markup, so text is crossed sixteen bytes at a time.
#pragma once

#include <algorithm>
#include <climits>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cleaner/texts.h"

namespace cleaner {

struct Tag {
    enum Kind : uint8_t { kStart, kEnd, kEmpty };
    int64_t begin;          // the offset of its "<"
    int64_t end;            // the offset after its ">"
    std::string_view name;  // at most kNameLimit bytes: a longer name is cut (`long_name`)
    Kind kind;
    bool long_name;
    std::string_view attributes = {};  // a start tag's bytes after its name, the first kAttributeLimit
    bool attributes_cut = false;       // it has more than those
};

// What the tokenizer gives its sink: each tag, and the texts the sink wants (asked after each
// tag), in parts as they come.
template <class S>
concept TokenSink = requires(S& sink, const Tag& tag, int64_t at, const uint8_t* bytes, size_t n) {
    sink.Tag(tag);
    sink.Text(at, bytes, n);
    { sink.WantsText() } -> std::same_as<bool>;
};

template <TokenSink Sink>
class Tokenizer {
public:
    static constexpr size_t kNameLimit = 48;
    static constexpr size_t kAttributeLimit = 1024;

    explicit Tokenizer(Sink& sink) : sink_(sink) {}

    // The next `n` bytes of the file. Stops, in text, right before the first "<" at or after
    // file offset `stop`, and returns how many bytes it read (all where there is none).
    size_t Feed(const uint8_t* data, size_t n, int64_t stop = INT64_MAX) {
        const uint8_t* p = data;
        const uint8_t* end = data + n;
        while (p < end && state_ != kText) p = Step(p, end, data);  // markup a chunk before left open
        while (p < end) {
            const uint8_t* lt = FindLt(p, end);
            if (wants_text_ && lt > p) sink_.Text(At(p, data), p, static_cast<size_t>(lt - p));
            if (lt == end) break;
            if (At(lt, data) >= stop) {
                offset_ += lt - data;
                return static_cast<size_t>(lt - data);
            }
            tag_begin_ = At(lt, data);
            p = WholeTag(lt, end, data);
            if (p == nullptr) {  // anything but a plain tag whole in this chunk
                state_ = kOpen;
                for (p = lt + 1; p < end && state_ != kText;) p = Step(p, end, data);
            }
        }
        offset_ += static_cast<int64_t>(n);
        return n;
    }

    // Reading goes on at file offset `at`, in text, which is wanted as `wants_text` says.
    void Resume(int64_t at, bool wants_text) {
        offset_ = at;
        wants_text_ = wants_text;
    }

    // The file ended outside all markup.
    bool Complete() const { return state_ == kText; }

private:
    enum State : uint8_t {
        kText,
        kOpen,        // after "<"
        kStartName,
        kAttributes,
        kQuoted,      // inside an attribute value
        kSlash,       // a "/" inside a start tag: "/>" ends it empty
        kEndName,
        kEndRest,     // after an end tag's name, before its ">"
        kBang,        // after "<!": a comment, a CDATA section or a declaration
        kComment,
        kCdata,
        kInstruction,
        kDeclaration,
    };

    int64_t At(const uint8_t* p, const uint8_t* data) const { return offset_ + (p - data); }

    // One stretch of the current state; returns where the next begins.
    const uint8_t* Step(const uint8_t* p, const uint8_t* end, const uint8_t* data) {
        switch (state_) {
            case kText: return end;  // not reached: text is the caller's
            case kOpen: return Opened(p);
            case kStartName: return InName(p, end, data, false);
            case kEndName: return InName(p, end, data, true);
            case kAttributes: return InAttributes(p, end, data);
            case kQuoted: {
                auto q = static_cast<const uint8_t*>(std::memchr(p, quote_, static_cast<size_t>(end - p)));
                if (q == nullptr) return KeepAttributes(p, end), end;
                state_ = kAttributes;
                KeepAttributes(p, q + 1);
                return q + 1;
            }
            case kSlash:
                if (*p == '>') return Emit(Tag::kEmpty, p + 1, data);
                state_ = kAttributes;
                return p;
            case kEndRest: {
                auto q = static_cast<const uint8_t*>(std::memchr(p, '>', static_cast<size_t>(end - p)));
                if (q == nullptr) return end;
                return Emit(Tag::kEnd, q + 1, data);
            }
            case kBang: return InBang(p);
            case kComment: return Until(p, end, '-', 2);
            case kCdata: return InCdata(p, end, data);
            case kInstruction: return Until(p, end, '?', 1);
            case kDeclaration: return InDeclaration(p, end);
        }
        return end;
    }

    // The tag at `lt` when it is a plain one ("<name>", "<name/>", "</name>") standing whole
    // before `end`: emitted, and where the text after it begins. Null for anything else.
    const uint8_t* WholeTag(const uint8_t* lt, const uint8_t* end, const uint8_t* data) {
        const bool closing = end - lt > 1 && lt[1] == '/';
        const uint8_t* name = lt + 1 + closing;
        const uint8_t* q = NameEnd(name, end);
        const size_t n = static_cast<size_t>(q - name);
        if (q == end || n == 0 || n > kNameLimit) return nullptr;
        Tag::Kind kind;
        const uint8_t* after;
        if (*q == '>') {
            kind = closing ? Tag::kEnd : Tag::kStart;
            after = q + 1;
        } else if (*q == '/' && !closing && end - q > 1 && q[1] == '>') {
            kind = Tag::kEmpty;
            after = q + 2;
        } else {
            return nullptr;
        }
        sink_.Tag(Tag{tag_begin_, At(after, data), std::string_view(reinterpret_cast<const char*>(name), n), kind, false});
        wants_text_ = sink_.WantsText();
        return after;
    }

    const uint8_t* Opened(const uint8_t* p) {
        name_length_ = 0;
        long_name_ = false;
        attribute_length_ = 0;
        attributes_cut_ = false;
        switch (*p) {
            case '/': state_ = kEndName; return p + 1;
            case '!':
                state_ = kBang;
                bang_length_ = 0;
                bang_dash_ = false;
                return p + 1;
            case '?': state_ = kInstruction; run_ = 0; return p + 1;
            default: state_ = kStartName; return p;
        }
    }

    // A tag's name, to the first whitespace, ">" or (in a start tag) "/". It is kept in the
    // buffer: the tag may end in a later chunk, and the chunk's bytes are gone by then.
    const uint8_t* InName(const uint8_t* p, const uint8_t* end, const uint8_t* data, bool closing) {
        const uint8_t* q = p;
        while (q < end && !IsMarkupSpace(*q) && *q != '>' && (closing || *q != '/')) ++q;
        Keep(p, q);
        if (q == end) return end;
        if (*q == '>') return Emit(closing ? Tag::kEnd : Tag::kStart, q + 1, data);
        if (closing) {
            state_ = kEndRest;
            return q + 1;
        }
        state_ = *q == '/' ? kSlash : kAttributes;
        return q + 1;
    }

    // The part of a name that a chunk holds, into the buffer.
    void Keep(const uint8_t* p, const uint8_t* q) {
        for (; p < q; ++p) {
            if (name_length_ == kNameLimit) {
                long_name_ = true;
                return;
            }
            name_buffer_[name_length_++] = static_cast<char>(*p);
        }
    }

    const uint8_t* InAttributes(const uint8_t* p, const uint8_t* end, const uint8_t* data) {
        const uint8_t* from = p;
        for (; p < end; ++p) {
            switch (*p) {
                case '>': KeepAttributes(from, p); return Emit(Tag::kStart, p + 1, data);
                case '/': state_ = kSlash; KeepAttributes(from, p); return p + 1;
                case '"':
                case '\'': quote_ = *p; state_ = kQuoted; KeepAttributes(from, p + 1); return p + 1;
                default: break;
            }
        }
        KeepAttributes(from, end);
        return end;
    }

    // The part of a start tag's attributes that a chunk holds, into their buffer.
    void KeepAttributes(const uint8_t* p, const uint8_t* q) {
        const size_t n = std::min(static_cast<size_t>(q - p), kAttributeLimit - attribute_length_);
        std::memcpy(attribute_buffer_ + attribute_length_, p, n);
        attribute_length_ += n;
        attributes_cut_ = attributes_cut_ || n < static_cast<size_t>(q - p);
    }

    // "<!--" opens a comment, "<![CDATA[" a CDATA section, anything else a declaration.
    const uint8_t* InBang(const uint8_t* p) {
        static constexpr char kCdataOpen[] = "[CDATA[";
        const uint8_t c = *p;
        if (bang_length_ == 0 && c == '-') {
            bang_length_ = 1;
            bang_dash_ = true;
            return p + 1;
        }
        if (bang_dash_) {
            if (c != '-') return ToDeclaration(p);  // "<!-x" is no comment; read on to its ">"
            state_ = kComment;
            run_ = 0;
            return p + 1;
        }
        if (c != static_cast<uint8_t>(kCdataOpen[bang_length_])) return ToDeclaration(p);
        if (++bang_length_ == sizeof kCdataOpen - 1) {
            state_ = kCdata;
            run_ = 0;
            cdata_held_ = 0;
        }
        return p + 1;
    }

    const uint8_t* ToDeclaration(const uint8_t* p) {
        state_ = kDeclaration;
        depth_ = 0;
        return p;
    }

    // Through the first `close` character run of `length` followed by ">": the end of a
    // comment ("-->"), a CDATA section ("]]>") or an instruction ("?>").
    const uint8_t* Until(const uint8_t* p, const uint8_t* end, uint8_t close, int length) {
        for (; p < end; ++p) {
            if (*p == '>' && run_ >= length) {
                state_ = kText;
                return p + 1;
            }
            run_ = *p == close ? run_ + 1 : 0;
        }
        return end;
    }

    // A CDATA section's content is text, delivered as it streams past. The "]" bytes that end
    // a chunk may be the start of the section's "]]>", so the last two are held back until
    // the next chunk shows what they are; being "]", they are delivered from a constant.
    const uint8_t* InCdata(const uint8_t* p, const uint8_t* end, const uint8_t* data) {
        const uint8_t* from = p;
        p = Until(p, end, ']', 2);
        const size_t before = static_cast<size_t>(p - from) - (state_ == kText ? 1 : 0);  // less the ">"
        const size_t available = cdata_held_ + before;
        const size_t held = state_ == kText ? 2 : std::min<size_t>(static_cast<size_t>(run_), 2);
        const size_t content = available - held;
        if (wants_text_ && content > 0) {
            static constexpr uint8_t kBrackets[] = {']', ']'};
            const size_t from_held = std::min(content, cdata_held_);
            if (from_held > 0) sink_.Text(At(from, data) - static_cast<int64_t>(cdata_held_), kBrackets, from_held);
            if (content > from_held) sink_.Text(At(from, data), from, content - from_held);
        }
        cdata_held_ = state_ == kText ? 0 : held;
        return p;
    }

    // A declaration ends at the ">" outside its internal subset's brackets.
    const uint8_t* InDeclaration(const uint8_t* p, const uint8_t* end) {
        for (; p < end; ++p) {
            if (*p == '[') ++depth_;
            else if (*p == ']' && depth_ > 0) --depth_;
            else if (*p == '>' && depth_ == 0) {
                state_ = kText;
                return p + 1;
            }
        }
        return end;
    }

    const uint8_t* Emit(Tag::Kind kind, const uint8_t* after, const uint8_t* data) {
        sink_.Tag(Tag{tag_begin_, At(after, data), std::string_view(name_buffer_, name_length_), kind, long_name_,
                      std::string_view(attribute_buffer_, kind == Tag::kEnd ? 0 : attribute_length_),
                      kind != Tag::kEnd && attributes_cut_});
        state_ = kText;
        wants_text_ = sink_.WantsText();
        return after;
    }

    // The bytes that end a name: XML whitespace, ">", "/", quotes, "<", "=", "!", "?".
    static constexpr struct NameEnds {
        bool ends[256] = {};
        constexpr NameEnds() {
            for (unsigned char c : {' ', '\t', '\r', '\n', '>', '/', '"', '\'', '<', '=', '!', '?'}) ends[c] = true;
        }
        constexpr bool operator[](uint8_t c) const { return ends[c]; }
    } kNameEnd{};

    // The first byte from `p` on that ends a name, or `end`. (Sixteen bytes at once is slower
    // here, measured: names are a few bytes long, and the byte loop runs ahead of its answer.)
    static const uint8_t* NameEnd(const uint8_t* p, const uint8_t* end) {
        while (p < end && !kNameEnd[*p]) ++p;
        return p;
    }

    static const uint8_t* FindLt(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
        const __m128i lt = _mm_set1_epi8('<');
        for (; end - p >= 16; p += 16) {
            auto mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lt)));
            if (mask != 0) return p + __builtin_ctz(mask);
        }
#endif
        auto q = static_cast<const uint8_t*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        return q == nullptr ? end : q;
    }

    Sink& sink_;
    int64_t offset_ = 0;
    int64_t tag_begin_ = 0;
    State state_ = kText;
    bool wants_text_ = false;  // asked at the last tag; markup between leaves it as it is
    uint8_t quote_ = 0;
    int run_ = 0;
    int depth_ = 0;
    size_t bang_length_ = 0;
    bool bang_dash_ = false;
    size_t cdata_held_ = 0;  // "]" bytes of a CDATA section not delivered yet
    char name_buffer_[kNameLimit];
    size_t name_length_ = 0;
    char attribute_buffer_[kAttributeLimit];
    size_t attribute_length_ = 0;
    bool attributes_cut_ = false;
    bool long_name_ = false;
};

}  // namespace cleaner
