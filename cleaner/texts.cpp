// Texts and attributes as an XML reader reads them.
#include "cleaner/texts.h"

#include <cstring>
#include <utility>

namespace cleaner {

// A character reference's code point as UTF-8.
namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Decoded(std::string_view text) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i + 1);
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [name, c] : kEntities) {
                if (rest.substr(0, name.size()) == name) {
                    out += c;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
            const size_t semicolon = rest.find(';');
            if (!replaced && rest.size() > 1 && rest[0] == '#' && semicolon != std::string_view::npos && semicolon < 10) {
                const bool hex = rest[1] == 'x';
                uint32_t code = 0;
                bool digits = semicolon > (hex ? 2u : 1u);
                for (size_t k = hex ? 2 : 1; k < semicolon && digits; ++k) {
                    const char d = rest[k];
                    const int v = d >= '0' && d <= '9' ? d - '0' : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                                  : hex && d >= 'A' && d <= 'F'                    ? d - 'A' + 10
                                                                                    : -1;
                    digits = v >= 0 && code < 0x110000;
                    code = code * (hex ? 16 : 10) + static_cast<uint32_t>(v < 0 ? 0 : v);
                }
                if (digits && code < 0x110000) {
                    AppendUtf8(out, code);
                    i += semicolon + 1;
                    replaced = true;
                }
            }
        }
        if (!replaced) out += text[i];
    }
    return out;
}

bool AttributeValue(std::string_view attributes, std::string_view name, std::string* value) {
    size_t k = 0;
    const auto blanks = [&] {
        while (k < attributes.size() && IsMarkupSpace(static_cast<uint8_t>(attributes[k]))) ++k;
    };
    for (;;) {
        blanks();
        const size_t begin = k;
        while (k < attributes.size() && attributes[k] != '=' && !IsMarkupSpace(static_cast<uint8_t>(attributes[k]))) ++k;
        const std::string_view found = attributes.substr(begin, k - begin);
        blanks();
        if (found.empty() || k == attributes.size() || attributes[k] != '=') return false;
        ++k;
        blanks();
        if (k == attributes.size() || (attributes[k] != '"' && attributes[k] != '\'')) return false;
        const size_t close = attributes.find(attributes[k], k + 1);
        if (close == std::string_view::npos) return false;
        if (found == name) {
            *value = Decoded(attributes.substr(k + 1, close - k - 1));
            return true;
        }
        k = close + 1;
    }
}

bool IsFilth(std::string_view attributes) {
    std::string value;
    if (!AttributeValue(attributes, "Class", &value)) return false;
    std::string_view name = value;
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    return name == "Filth" || name == "LiquidFuel" || name.substr(0, 6) == "Filth_";
}


Start StartOf(std::string_view raw) {
    const size_t amp = raw.rfind('&');
    if (amp != std::string_view::npos && raw.find(';', amp) == std::string_view::npos) raw = raw.substr(0, amp);
    const bool entities = raw.find('&') != std::string_view::npos;
    const std::string decoded = entities ? Decoded(raw) : std::string();
    const std::string_view text = entities ? std::string_view(decoded) : raw;
    const size_t first = text.find_first_not_of(" \t\r\n");
    const std::string_view rest = first == std::string_view::npos ? std::string_view() : text.substr(first);
    Start start = rest.empty() ? Start::kPart : Start::kNone;
    for (std::string_view form : kReferenceForms) {
        if (rest.substr(0, form.size()) == form) return Start::kForm;
        if (!rest.empty() && form.substr(0, rest.size()) == rest) start = Start::kPart;
    }
    return start;
}

bool IsReferenceForm(std::string_view text) {
    if (text.empty() || text[0] == '&' || !MayBeginReference(static_cast<uint8_t>(text[0]))) return false;
    for (std::string_view form : kReferenceForms)
        if (text.size() > form.size() && text.substr(0, form.size()) == form) return true;
    return false;
}


bool MayStartReference(const uint8_t* p) {
    if (*p == '&') return true;
    // The forms that begin with the text's first byte.
    for (const int8_t f : kFormLetters.forms[*p]) {
        if (f < 0) break;
        const std::string_view form = kReferenceForms[static_cast<size_t>(f)];
        size_t i = 1;
        while (i < form.size() && p[i] == static_cast<uint8_t>(form[i])) ++i;
        // The form whole, or the text ends (at markup, or an entity comes) inside it.
        if (i == form.size() || p[i] == '<' || p[i] == '&') return true;
    }
    return false;
}

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

}  // namespace cleaner
