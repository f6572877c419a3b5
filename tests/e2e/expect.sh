# Sourced by the end-to-end scripts: one checked expectation a line; `failed` is 1 after any
# failure.
failed=0

expect() {  # what, expected, actual
    if [ "$2" == "$3" ]; then
        echo "ok    $1"
    else
        printf 'FAIL  %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
        failed=1
    fi
}

# yes when the two files hold the same bytes.
same() { cmp -s "$1" "$2" && echo yes || echo no; }

# The saves both suites clean, made in folder $1 with the commands `gen` and `literal` of the
# suite (the generator and the literal steps, run through Wine or not); the literal steps'
# outputs for two of them go to $2. `inputs` sums up every one of them.
make_saves() {
    gen "$1/Colony.rws" --pawns 10 --leaders 4 --cjk --seed 3
    literal "$1/Colony.rws" "$2/expected.rws"
    gen "$1/Caravan.rws" --pawns 12 --leaders 3 --caravan 3 --seed 4
    literal "$1/Caravan.rws" "$2/caravan-expected.rws"
    gen "$1/NoLeaders.rws" --pawns 4 --leaders 0
    gen "$1/Far.rws" --pawns 6 --leaders 3 --far-marker
    gen "$1/Linked.rws" --pawns 4 --leaders 2
    gen "$1/Full.rws" --pawns 4 --leaders 2
    gen "$1/Two Words.rws" --pawns 6 --leaders 2 --caravan 1 --seed 9
    # Layouts the cuts by text position miss: no whitespace at all, a leader named twice;
    # LF line ends, two spaces a level and "<li />" items in the pawns.
    gen "$1/Compact.rws" --pawns 8 --leaders 3 --compact --leader-twice --caravan 2 --seed 5
    literal "$1/Compact.rws" "$2/compact-expected.rws"
    gen "$1/Spaces.rws" --pawns 8 --leaders 3 --lf --spaces --empty-items --seed 6
    literal "$1/Spaces.rws" "$2/spaces-expected.rws"
    # Leaders among the mothballed pawns; the list of pawns kept whatever happens.
    gen "$1/Asleep.rws" --pawns 6 --leaders 4 --mothballed 5 --caravan 2 --seed 8
    literal "$1/Asleep.rws" "$2/asleep-expected.rws"
    literal "$1/Asleep.rws" "$2/asleep-mothballed-expected.rws" --mothballed
    # What the extra options remove: dead pawns, filth, tales and logs, some of each held.
    gen "$1/Extras.rws" --pawns 8 --leaders 2 --extras 30 --seed 10
}
inputs() {
    (cd "$1" && md5sum Colony.rws Caravan.rws NoLeaders.rws Far.rws Linked.rws Full.rws "Two Words.rws" Compact.rws \
        Spaces.rws Asleep.rws Extras.rws)
}

# The summary counts of Extras.rws cleaned with each extra option, then with --all.
extras_removed=("117 filth items" "24 tales" "38 log entries" "0 dead pawns"
    "117 filth items, 24 tales, 38 log entries, 10 dead pawns")

# yes when every reference to nothing in output $1, cleaned with extra options, is one that
# output $2 of the same save cleaned without them leaves too, as Python's own XML reader
# finds them (apart from the program).
no_new_dangling() { python3 "$(dirname "${BASH_SOURCE[0]}")/dangling.py" --rule "$2" "$1" >/dev/null && echo yes || echo no; }

# Every output in folder $1 that a real XML parser refuses, or whose lists of living and
# mothballed world pawns hold a pawn id twice, one a line; nothing when all are sound.
unsound() {
    find "$1" -name '*-A.rws' -type f | sort | while read -r f; do
        xmllint --noout "$f" 2>/dev/null || { echo "not XML: $f"; continue; }
        twice=$(xmllint --xpath '//pawnsAlive/li/id/text() | //pawnsMothballed/li/id/text()' "$f" 2>/dev/null |
            sort | uniq -d)
        [ -z "$twice" ] || echo "a pawn twice in $f: $twice"
    done
}

# The ids of the pawns a save's caravan holds, one a line.
caravan_pawns() { sed -n '/<pawns>/,/<\/pawns>/p' "$1" | grep -o 'Thing_[A-Za-z0-9]*' | sed 's/^Thing_//' | sort -u; }

# Of those, the ones that stand exactly once as a pawn id in the cleaned save `$1`.
kept_once() {
    local id
    for id in $(caravan_pawns "$2"); do
        [ "$(grep -c "<id>$id</id>" "$1")" = 1 ] && echo "$id"
    done
}

# The own ids of the items of a save's mothballed list, one a line.
mothballed_ids() { xmllint --xpath '//pawnsMothballed/li/id/text()' "$1" 2>/dev/null | sort; }
