// The tests' independent judge of a cleaning: a real XML parser's (libxml2's) reading of the
// save and of what was written for it. Only where the test build has libxml2 (Linux).
#pragma once

#include <string>

namespace judge {

#if defined(SORREL_XML_JUDGE)
constexpr bool kAvailable = true;
#else
constexpr bool kAvailable = false;
#endif

// The save is XML, as libxml2 reads it.
bool WellFormed(const std::string& xml);

// What is wrong with `output` as a cleaning of `input` (XML), or nothing: the output is XML;
// each element of its lists of living and mothballed pawns is one of the input's list,
// written alike, and no own id (the text of an item's first "id" child) stands twice there;
// the first item of each leader's id and of each id held by reference (in world objects,
// the quest manager, kidnapped lists) in the input's living list is in the output's; and
// outside the lists of world pawns the document is the input's.
std::string Unsound(const std::string& input, const std::string& output);

// What the extra options should leave of `plain` (the save as cleaned without them), as a
// plain reading of the rule over libxml2's tree: of the asked kinds (filth, tales, logs,
// dead, in that order), every item goes that no reference outside the items going names,
// with the blank text right before it; the rest of the document as it is, written out by
// libxml2. Also `output` written out by libxml2, for comparing the two.
struct Dumps {
    std::string expected, output;
};
Dumps ExtrasReference(const std::string& plain, const std::string& output, const bool (&kinds)[4]);

}  // namespace judge
