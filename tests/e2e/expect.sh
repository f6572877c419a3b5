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
}
inputs() { (cd "$1" && md5sum Colony.rws Caravan.rws NoLeaders.rws Far.rws Linked.rws Full.rws "Two Words.rws"); }

# The ids of the pawns a save's caravan holds, one a line.
caravan_pawns() { sed -n '/<pawns>/,/<\/pawns>/p' "$1" | grep -o 'Thing_[A-Za-z0-9]*' | sed 's/^Thing_//' | sort -u; }

# Of those, the ones that stand exactly once as a pawn id in the cleaned save `$1`.
kept_once() {
    local id
    for id in $(caravan_pawns "$2"); do
        [ "$(grep -c "<id>$id</id>" "$1")" = 1 ] && echo "$id"
    done
}
