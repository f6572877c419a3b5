// The markup as an XML reader sees it, whatever the chunks it comes in.
#include "cleaner/tokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every event as text: "<name>@begin-end" (a start tag's attributes in brackets after its name),
// "</name>", "<name/>", and "'text'".
struct Recorder {
    std::string events;
    void Tag(const cleaner::Tag& tag) {
        const std::string name = std::string(tag.name) + (tag.attributes.empty() ? "" : "[" + std::string(tag.attributes) + "]");
        events += tag.kind == cleaner::Tag::kEnd ? "</" + name + ">" : tag.kind == cleaner::Tag::kEmpty ? "<" + name + "/>" : "<" + name + ">";
        events += (tag.long_name ? "+@" : "@") + std::to_string(tag.begin) + "-" + std::to_string(tag.end) + " ";
    }
    bool WantsText() const { return true; }
    void Text(int64_t, const uint8_t* bytes, size_t n) {
        if (!events.empty() && events.back() == '\'') events.pop_back();  // a part of the same text
        else events += "'";
        events.append(reinterpret_cast<const char*>(bytes), n);
        events += "'";
    }
};

std::string Events(const std::string& xml, size_t chunk) {
    Recorder recorder;
    cleaner::Tokenizer<Recorder> tokenizer(recorder);
    // Each chunk in a buffer of its own, spoilt once fed, as a reader's buffer is reused.
    for (size_t at = 0; at < xml.size(); at += chunk) {
        std::string buffer = xml.substr(at, chunk);
        tokenizer.Feed(reinterpret_cast<const uint8_t*>(buffer.data()), buffer.size());
        buffer.assign(buffer.size(), '#');
    }
    return recorder.events + (tokenizer.Complete() ? "" : "(open)");
}

// Each spelling an XML reader accepts gives the tags it means, and so does every split of it
// into chunks, down to one byte: inside a name, a quoted value, "-->", "]]>" or a character
// of several bytes.
TEST(Tokenizer, ReadsMarkupAsAnXmlReaderDoes) {
    const std::pair<std::string, std::string> rows[] = {
        {"<li><id>A</id></li>", "<li>@0-4 <id>@4-8 'A'</id>@9-14 </li>@14-19 "},
        {"<li\tClass=\"Apparel\">\r\n</li >", "<li[Class=\"Apparel\"]>@0-20 '\r\n'</li>@22-28 "},
        {"<li\nClass='a>b' />x", "<li[Class='a>b' ]/>@0-18 'x'"},
        {"<a b=\"/>\"></a>", "<a[b=\"/>\"]>@0-10 </a>@10-14 "},
        {"<a><!-- old: </li> <li> --></a>", "<a>@0-3 </a>@27-31 "},
        {"<a>x<![CDATA[</li><b>]]>y</a>", "<a>@0-3 'x</li><b>y'</a>@25-29 "},
        {"<a><![CDATA[]]]]></a>", "<a>@0-3 ']]'</a>@17-21 "},
        {"<?xml version=\"1.0\"?><a><?pi <b> ?></a>", "<a>@21-24 </a>@35-39 "},
        {"\xEF\xBB\xBF<a>\xE4\xB8\xAD</a>", "<a>@3-6 '\xE4\xB8\xAD'</a>@9-13 "},
        {"<!DOCTYPE a [<!ENTITY e \"<x>\">]><a/>", "<a/>@32-36 "},
        {"<a><!----></a><!-->-->", "<a>@0-3 </a>@10-14 "},
        {"<li/><li\t/>", "<li/>@0-5 <li/>@5-11 "},
        {"<a", "(open)"},
        {"<a><!-- never closed", "<a>@0-3 (open)"},
    };
    for (const auto& [xml, expected] : rows) {
        for (size_t chunk = 1; chunk <= xml.size(); ++chunk) EXPECT_EQ(Events(xml, chunk), expected) << xml << " in chunks of " << chunk;
    }
}

}  // namespace
