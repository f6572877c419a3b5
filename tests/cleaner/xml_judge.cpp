#include "tests/cleaner/xml_judge.h"

#if defined(SORREL_XML_JUDGE)

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
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

// The document as libxml2 writes it.
std::string Dumped(xmlDoc* doc) {
    xmlChar* text = nullptr;
    int n = 0;
    xmlDocDumpMemory(doc, &text, &n);
    std::string out(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
    xmlFree(text);
    return out;
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
    return Dumped(doc);
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

// The children of `node` named `name`.
std::vector<xmlNode*> Children(xmlNode* node, const char* name) {
    std::vector<xmlNode*> out;
    for (xmlNode* child = node != nullptr ? node->children : nullptr; child != nullptr; child = child->next)
        if (Named(child, name)) out.push_back(child);
    return out;
}

// The elements at `path` ("a/b/c", each step every child of that name) under `from`.
std::vector<xmlNode*> At(xmlNode* from, const std::string& path) {
    std::vector<xmlNode*> nodes = {from};
    for (size_t at = 0; at <= path.size();) {
        const size_t end = std::min(path.find('/', at), path.size());
        const std::string step = path.substr(at, end - at);
        std::vector<xmlNode*> next;
        for (xmlNode* node : nodes)
            for (xmlNode* child : Children(node, step.c_str())) next.push_back(child);
        nodes = next;
        at = end + 1;
    }
    return nodes;
}

bool IsFilthClass(xmlNode* thing) {
    xmlChar* value = xmlGetProp(thing, reinterpret_cast<const xmlChar*>("Class"));
    std::string cls = value != nullptr ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    cls = cls.substr(cls.rfind('.') == std::string::npos ? 0 : cls.rfind('.') + 1);
    return cls == "Filth" || cls == "LiquidFuel" || cls.rfind("Filth_", 0) == 0;
}

struct Extra {
    xmlNode* node;
    std::set<std::string> names;
};

// The names an item of the list at `path` answers to (a field at its default is left out: a
// tale, battle or archived item with no id of its own answers to 0).
std::set<std::string> NamesOf(xmlNode* item, const std::string& path) {
    const bool tale = path.find("tales") != std::string::npos, battle = path.find("battles") != std::string::npos,
               archived = path.find("archivables") != std::string::npos;
    std::set<std::string> names;
    Each(item->children, [&](xmlNode* node) {
        if (Named(node, "id")) names.insert((tale ? "Tale_" : "Thing_") + Content(node));
        if (Named(node, "ID") && archived)
            for (const char* form : {"Letter_", "Message_", "ArchivedDialog_"}) names.insert(form + Content(node));
        if (Named(node, "loadID") && battle) names.insert("Battle_" + Content(node));
        if (Named(node, "logID")) names.insert("LogEntry_" + Content(node));
    });
    if (tale && Children(item, "id").empty()) names.insert("Tale_0");
    if (battle && Children(item, "loadID").empty()) names.insert("Battle_0");
    if (archived && Children(item, "ID").empty())
        for (const char* form : {"Letter_", "Message_", "ArchivedDialog_"}) names.insert(std::string(form) + "0");
    return names;
}

}  // namespace

Dumps ExtrasReference(const std::string& plain, const std::string& output, const bool (&kinds)[4]) {
    Doc doc = Parse(plain), out = Parse(output);
    if (doc == nullptr || out == nullptr) return {"not XML", ""};
    xmlNode* root = xmlDocGetRootElement(doc.get());
    static const std::pair<int, const char*> kLists[] = {
        {0, "game/maps/li/things/thing"},       {1, "game/taleManager/tales/li"},
        {2, "game/playLog/entries/li"},         {2, "game/battleLog/battles/li"},
        {2, "game/battleLog/rawEntries/li"},    {2, "game/history/archive/archivables/li"},
        {3, "game/world/worldPawns/pawnsDead/li"}};
    std::vector<Extra> extras;
    if (Named(root, "savegame")) {
        for (const auto& [kind, path] : kLists) {
            if (!kinds[kind]) continue;
            for (xmlNode* item : At(root, path))
                if (kind != 0 || IsFilthClass(item)) extras.push_back({item, NamesOf(item, path)});
        }
    }
    // Every leaf text in reference form, by what it names, with its element.
    std::vector<std::pair<std::string, xmlNode*>> references;
    Each(root, [&](xmlNode* node) {
        if (node->type != XML_ELEMENT_NODE || node->children == nullptr || node->children->next != nullptr ||
            (node->children->type != XML_TEXT_NODE && node->children->type != XML_CDATA_SECTION_NODE))
            return;
        std::string text = Content(node);
        for (const char* form : {"Thing_", "Tale_", "LogEntry_", "Battle_", "Letter_", "Message_", "ArchivedDialog_"}) {
            if (text.rfind(form, 0) != 0 || text.size() == std::string_view(form).size()) continue;
            if (std::string_view(form) == "LogEntry_") text = "LogEntry_" + text.substr(text.rfind('_') + 1);
            references.emplace_back(text, node);
        }
    });
    std::vector<bool> gone(extras.size(), true);
    for (bool changed = true; changed;) {
        std::set<xmlNode*> going;
        for (size_t k = 0; k < extras.size(); ++k)
            if (gone[k]) going.insert(extras[k].node);
        std::set<std::string> named;
        for (const auto& [name, node] : references) {
            bool inside = false;
            for (xmlNode* up = node; up != nullptr && !inside; up = up->parent) inside = going.count(up) > 0;
            if (!inside) named.insert(name);
        }
        changed = false;
        for (size_t k = 0; k < extras.size(); ++k) {
            if (!gone[k]) continue;
            for (const std::string& name : extras[k].names) gone[k] = gone[k] && !named.count(name);
            changed = changed || !gone[k];
        }
    }
    for (size_t k = 0; k < extras.size(); ++k) {
        if (!gone[k]) continue;
        xmlNode* before = extras[k].node->prev;
        if (before != nullptr && before->type == XML_TEXT_NODE) {
            std::string text = Content(before);
            text.erase(text.find_last_not_of(" \t\r\n") == std::string::npos ? 0 : text.find_last_not_of(" \t\r\n") + 1);
            xmlNodeSetContent(before, reinterpret_cast<const xmlChar*>(text.c_str()));
        }
        xmlUnlinkNode(extras[k].node);
        xmlFreeNode(extras[k].node);
    }
    return {Dumped(doc.get()), Dumped(out.get())};
}

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
Dumps ExtrasReference(const std::string&, const std::string&, const bool (&)[4]) { return {}; }
bool WellFormed(const std::string&) { return false; }
std::string Unsound(const std::string&, const std::string&) { return {}; }
}  // namespace judge

#endif
