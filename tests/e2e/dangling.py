#!/usr/bin/env python3
"""References that point at nothing, found by Python's own XML reader, apart from the program.

    dangling.py SAVE                 each reference to nothing in SAVE, one per line
    dangling.py --rule BASE OUTPUT   exit 1 unless every reference to nothing in OUTPUT is
                                     one that BASE (the same save cleaned without options)
                                     leaves too; prints the counts

A reference is a leaf text that is exactly one of the forms below; what it names is defined
by an element of the save; a verb's "loadID" is its own id, not a reference (a field at its default is left out: a tale, battle or letter
with no id of its own has id 0).
"""
import sys
import xml.etree.ElementTree as ET

FORMS = ("Thing_", "Tale_", "LogEntry_", "Battle_", "Letter_", "Message_", "ArchivedDialog_")


def child_text(element, name, default=None):
    found = element.find(name)
    return found.text or "" if found is not None else default


def defined(root):
    names = set()
    for element in root.iter():
        if element.find("def") is not None and element.find("id") is not None:
            names.add("Thing_" + child_text(element, "id"))
        log_id = child_text(element, "logID")
        if log_id is not None:
            names.add("LogEntry_" + log_id)
    for tale in root.iterfind("game/taleManager/tales/li"):
        names.add("Tale_" + child_text(tale, "id", "0"))
    for battle in root.iterfind("game/battleLog/battles/li"):
        names.add("Battle_" + child_text(battle, "loadID", "0"))
    for archived in root.iterfind("game/history/archive/archivables/li"):
        number = child_text(archived, "ID", "0")
        names.update(form + number for form in ("Letter_", "Message_", "ArchivedDialog_"))
    return names


def name_of(reference):
    """ "LogEntry_<ticks>_<id>" names the entry "LogEntry_<id>"."""
    if reference.startswith("LogEntry_"):
        return "LogEntry_" + reference.rsplit("_", 1)[1]
    return reference


def dangling(path):
    root = ET.parse(path).getroot()
    names = defined(root)
    out = []
    for element in root.iter():
        text = element.text
        if element.tag == "loadID":
            continue  # a verb's own id ("Thing_Human12_0_Smash"), no reference
        if len(element) == 0 and text and text.startswith(FORMS) and text not in FORMS:
            if name_of(text) not in names:
                out.append(text)
    return out


def main(argv):
    if len(argv) == 2:
        for reference in dangling(argv[1]):
            print(reference)
        return 0
    if len(argv) == 4 and argv[1] == "--rule":
        base, output = dangling(argv[2]), dangling(argv[3])
        new = sorted(set(output) - set(base))
        print("references to nothing: %d without the options, %d with" % (len(base), len(output)))
        for reference in new[:20]:
            print("new: " + reference)
        return 1 if new else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
