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

# The ids of the pawns a save's caravan holds, one a line.
caravan_pawns() { sed -n '/<pawns>/,/<\/pawns>/p' "$1" | grep -o 'Thing_[A-Za-z0-9]*' | sed 's/^Thing_//' | sort -u; }

# Of those, the ones that stand exactly once as a pawn id in the cleaned save `$1`.
kept_once() {
    local id
    for id in $(caravan_pawns "$2"); do
        [ "$(grep -c "<id>$id</id>" "$1")" = 1 ] && echo "$id"
    done
}
