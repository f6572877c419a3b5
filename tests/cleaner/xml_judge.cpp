#include "tests/cleaner/xml_judge.h"

#if defined(SORREL_XML_JUDGE)

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <functional>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

namespace judge {

namespace {

using Doc = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

Doc Parse(const std::string& xml) {
    return Doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                             XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
               xmlFreeDoc);
}

bool Named(xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && std::string_view(reinterpret_cast<const char*>(node->name)) == name;
}

// The first element of that name, in document order.
xmlNode* First(xmlNode* node, const char* name) {
    for (; node != nullptr; node = node->next) {
        if (Named(node, name)) return node;
        if (xmlNode* found = First(node->children, name)) return found;
    }
    return nullptr;
}

void Each(xmlNode* node, const std::function<void(xmlNode*)>& visit) {
    for (; node != nullptr; node = node->next) {
        visit(node);
        Each(node->children, visit);
    }
}

std::string Content(xmlNode* node) {
    xmlChar* text = xmlNodeGetContent(node);
    std::string out = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    xmlFree(text);
    return out;
}

std::string Written(xmlDoc* doc, xmlNode* node) {
    xmlBuffer* buffer = xmlBufferCreate();
    xmlNodeDump(buffer, doc, node, 0, 0);
    std::string out(reinterpret_cast<const char*>(xmlBufferContent(buffer)), static_cast<size_t>(xmlBufferLength(buffer)));
    xmlBufferFree(buffer);
    return out;
}

std::string OwnId(xmlNode* item) {
    for (xmlNode* child = item->children; child != nullptr; child = child->next)
        if (Named(child, "id")) return Content(child);
    return {};
}

struct Item {
    std::string written, id;
};

std::vector<Item> Items(xmlDoc* doc, xmlNode* list) {
    std::vector<Item> items;
    for (xmlNode* child = list != nullptr ? list->children : nullptr; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE) items.push_back({Written(doc, child), OwnId(child)});
    return items;
}

// The ids that must stay: the leaders', and those held by reference.
std::set<std::string> Wanted(xmlNode* root) {
    std::set<std::string> ids;
    auto add = [&ids](xmlNode* node) {
        const std::string text = node->type == XML_TEXT_NODE || Named(node, "leader") ? Content(node) : "";
        if (text.rfind("Thing_", 0) == 0 && text.size() > 6) ids.insert(text.substr(6));
    };
    xmlNode* factions = First(root, "factionManager");
    if (factions != nullptr) {
        Each(factions->children, [&](xmlNode* node) {
            if (Named(node, "leader")) add(node);
            if (Named(node, "kidnappedPawns")) Each(node->children, add);
        });
    }
    for (const char* region : {"worldObjects", "questManager"})
        if (xmlNode* found = First(root, region)) Each(found->children, add);
    return ids;
}

// The document without the content of its lists of world pawns.
std::string Outside(xmlDoc* doc) {
    for (const char* name : {"pawnsAlive", "pawnsMothballed", "pawnsForcefullyKeptAsWorldPawns"}) {
        xmlNode* list = First(xmlDocGetRootElement(doc), name);
        while (list != nullptr && list->children != nullptr) {
            xmlNode* child = list->children;
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
    }
    xmlChar* text = nullptr;
    int n = 0;
    xmlDocDumpMemory(doc, &text, &n);
    std::string out(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
    xmlFree(text);
    return out;
}

std::string ListUnsound(const std::vector<Item>& in, const std::vector<Item>& out, const char* name) {
    std::multiset<std::string> available;
    for (const Item& item : in) available.insert(item.written);
    std::set<std::string> ids;
    for (const Item& item : out) {
        auto found = available.find(item.written);
        if (found == available.end()) return std::string(name) + ": an item that is not the input's: " + item.written.substr(0, 80);
        available.erase(found);
        if (!item.id.empty() && !ids.insert(item.id).second) return std::string(name) + ": id twice: " + item.id;
    }
    return {};
}

}  // namespace

bool WellFormed(const std::string& xml) { return Parse(xml) != nullptr; }

std::string Unsound(const std::string& input, const std::string& output) {
    Doc in = Parse(input), out = Parse(output);
    if (in == nullptr) return "the input is not XML";
    if (out == nullptr) return "the output is not XML";
    xmlNode* in_root = xmlDocGetRootElement(in.get());
    xmlNode* out_root = xmlDocGetRootElement(out.get());
    const std::vector<Item> living = Items(in.get(), First(in_root, "pawnsAlive"));
    const std::vector<Item> kept = Items(out.get(), First(out_root, "pawnsAlive"));
    std::string wrong = ListUnsound(living, kept, "living");
    if (wrong.empty())
        wrong = ListUnsound(Items(in.get(), First(in_root, "pawnsMothballed")),
                            Items(out.get(), First(out_root, "pawnsMothballed")), "mothballed");
    if (!wrong.empty()) return wrong;
    std::set<std::string> written;
    for (const Item& item : kept) written.insert(item.written);
    const std::set<std::string> wanted = Wanted(in_root);
    std::set<std::string> seen;
    for (const Item& item : living) {
        if (item.id.empty() || !seen.insert(item.id).second || !wanted.count(item.id)) continue;
        if (!written.count(item.written)) return "the item of " + item.id + " is lost";
    }
    if (Outside(in.get()) != Outside(out.get())) return "the document outside the lists changed";
    return {};
}

}  // namespace judge

#else

namespace judge {
bool WellFormed(const std::string&) { return false; }
std::string Unsound(const std::string&, const std::string&) { return {}; }
}  // namespace judge

#endif
