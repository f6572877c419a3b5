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
