#!/usr/bin/env bash
# End-to-end on Linux: the real program, driven through standard input, its boxes read from
# standard output and its picker from standard error.
#   linux_e2e.sh SORREL GEN_SAVE LITERAL_CLEAN WORK_DIR [REAL_SAVES_DIR]
set -u
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
sorrel=$(absolute "$1") gen=$(absolute "$2") literal=$(absolute "$3") work=$(absolute "$4") real=${5:-}
source "$(dirname "$0")/expect.sh"

# The boxes without the success box's second line (what changed; checked on its own).
unchanged() { grep -v '^原存档 ' || true; }

# Runs the program with one line of input; sets full (standard output), out (the same less
# that line) and code.
run() {
    full=$(printf '%s\n' "$1" | "$sorrel" 2>"$work/stderr")
    code=$?
    out=$(unchanged <<<"$full")
}

listing() { ls -A "$work/saves" | tr '\n' ' '; }

rm -rf "$work"
mkdir -p "$work/saves" "$work/home"
export HOME="$work/home"
cd "$work/saves"
saves=$(pwd)

gen() { "$gen" "$@"; }
literal() { "$literal" "$@"; }
make_saves . "$work"
ln -s "$work/missing/folder" Linked-A.rws
gen 'Odd"Name\.rws' --pawns 4 --leaders 1
mkfifo Pipe.rws
read_before=$(inputs . && md5sum 'Odd"Name\.rws')
before=$(listing)

run ""
expect "cancel: no box, exit code 0" " 0" "$out $code"
expect "cancel: nothing written" "$before" "$(listing)"
expect "the picker opens the current folder when no save folder exists" "Folder: $saves" \
    "$(grep '^Folder:' "$work/stderr")"

success="[成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为："
run "Colony.rws"
expect "clean: the success box, exit code 0" "$success$saves/Colony-A.rws 0" "$out $code"
expect "clean: the box says what changed" "原存档 32.4 KB，新存档 17.4 KB；移除存活的世界人物 6 个" "$(grep '^原存档' <<<"$full")"
expect "clean: output identical to the literal steps" yes "$(same Colony-A.rws "$work/expected.rws")"

run "Colony.rws"
expect "again: the next free name" "$success$saves/Colony-A-A.rws" "$out"
expect "again: same output" yes "$(same Colony-A-A.rws "$work/expected.rws")"

run "Caravan.rws"
expect "a caravan: the success box" "$success$saves/Caravan-A.rws" "$out"
expect "a caravan: output identical to the literal steps" yes "$(same Caravan-A.rws "$work/caravan-expected.rws")"
expect "a caravan: its pawns are kept, once each" "$(caravan_pawns Caravan.rws)" "$(kept_once Caravan-A.rws Caravan.rws)"

before=$(listing)
run "NoLeaders.rws"
expect "no leaders: the box, exit code 0" "[错误] 错误信息：未找到帮派首领信息 0" "$out $code"
run "Far.rws"
expect "error code 01: the box, exit code 0" "[错误] 错误代码：01 0" "$out $code"
run "Missing.rws"
expect "a save that does not exist: the box" "[错误] 错误信息：存档不存在：$saves/Missing.rws" "$out"
out=$(printf '%s\n' Pipe.rws | timeout 20 "$sorrel" 2>/dev/null)
expect "a FIFO as the save: the box at once" "[错误] 错误信息：存档读取失败：$saves/Pipe.rws" "$out"
expect "nothing written by these" "$before" "$(listing)"

# A link whose target is missing stands at the first name: the output takes the next one
# and nothing is made where the link points.
run "Linked.rws"
expect "a link at the name: the next name" "$success$saves/Linked-A-A.rws" "$out"
[ -L Linked-A.rws ] && [ ! -e "$work/missing" ] && link=untouched || link=followed
expect "a link at the name: the link stays, its target is not made" untouched "$link"

# The disk fills up during the write (a file size limit, whose signal the program ignores):
# the box, and the partial file is taken away again.
before=$(listing)
out=$(printf '%s\n' Full.rws | (ulimit -f 1; "$sorrel" 2>/dev/null))
code=$?
expect "a write that fails: the box and why, exit code 0" "[错误] 错误信息：存档写入失败：$saves/Full-A.rws
原因：系统错误代码 223 0" "$out $code"
expect "a write that fails: nothing left behind" "$before" "$(listing)"

run "$(printf '\xf0\x9f\x98\x80').rws"
expect "a path GBK cannot hold: no box, exit code 0" " 0" "$out $code"
grep -q "cannot be written in GBK" "$work/stderr" && told=yes || told=no
expect "a path GBK cannot hold: told on standard error" yes "$told"

run "$(printf 'x%.0s' $(seq 300)).rws"
expect "a path longer than the dialog's buffer: no box" "" "$out"
grep -q "longer than 254 bytes" "$work/stderr" && told=yes || told=no
expect "a path longer than the dialog's buffer: told on standard error" yes "$told"

# Where the picker opens: the save folder under the profile, else the game's Linux folder.
windows_saves="$work/home/AppData/LocalLow/Ludeon Studios/RimWorld/Saves"
linux_saves="$work/home/.config/unity3d/Ludeon Studios/RimWorld by Ludeon Studios/Saves"
mkdir -p "$linux_saves"
cp Colony.rws "$linux_saves/Linux.rws"
run "1"
expect "the game's Linux save folder" "Folder: $linux_saves" "$(grep '^Folder:' "$work/stderr")"
expect "a number picks from the list" "$success$linux_saves/Linux-A.rws" "$out"
mkdir -p "$windows_saves"
cp Colony.rws "$windows_saves/Profile.rws"
run "1"
expect "the save folder under the profile" "Folder: $windows_saves" "$(grep '^Folder:' "$work/stderr")"
expect "cleaned there" "$success$windows_saves/Profile-A.rws" "$out"

# Saves given as arguments: no picker, the same boxes, a summary line each on standard
# error, and the exit status says whether every save was written.
args() {
    full=$("$sorrel" "$@" </dev/null 2>"$work/stderr")
    code=$?
    out=$(unchanged <<<"$full")
}
said() {  # LINE OUTPUT_NAME: yes when that line of standard error sums up the save written
    sed -n "$1p" "$work/stderr" |
        grep -Eq "^Two Words.rws: [0-9]+\.[0-9] KB -> $2 [0-9]+\.[0-9] KB \(2 leaders, 1 held pawn; 3 living pawns removed\)\$" &&
        echo yes || cat "$work/stderr"
}
args "$saves/Two Words.rws"
expect "one save as an argument, a blank in its path: exit status 0" "$success$saves/Two Words-A.rws 0" "$out $code"
expect "one save as an argument: the summary line" yes "$(said 1 "Two Words-A.rws")"
args "$saves/Far.rws" "$saves/Two Words.rws"
expect "two saves, the first with error code 01: both boxes, exit status 1" "[错误] 错误代码：01
$success$saves/Two Words-A-A.rws 1" "$out $code"
expect "two saves: the first not written" "Far.rws: not written" "$(sed -n 1p "$work/stderr")"
expect "two saves: the second written" yes "$(said 2 "Two Words-A-A.rws")"
args 'Odd"Name\.rws'
expect "a quote and a backslash in the name" "$success"'Odd"Name\-A.rws' "$out"
before=$(listing)
args "$saves/Nothing.rws"
expect "a path that names nothing: exit status 1" "[错误] 错误信息：存档不存在：$saves/Nothing.rws 1" "$out $code"
expect "a path that names nothing: nothing written" "$before" "$(listing)"
args --help
grep -q '^usage: sorrel' <<<"$out" && helped=yes || helped=no
expect "--help: the usage on standard output, exit 0" "yes 0" "$helped $code"
args --version
expect "--version" "Sorrel 1.4.1.0 0" "$out $code"
args -x
grep -q '^usage: sorrel' "$work/stderr" && helped=yes || helped=no
expect "an unknown option: the usage on standard error, exit 2, nothing else" "yes 2 " "$helped $code $out"
args -- --help
expect "after --, a save named --help" "[错误] 错误信息：存档不存在：--help" "$out"

args Compact.rws Spaces.rws
expect "other layouts: written" "${success}Compact-A.rws
${success}Spaces-A.rws 0" "$out $code"
expect "no whitespace between tags: the expected items" yes "$(same Compact-A.rws "$work/compact-expected.rws")"
expect "LF, two spaces, empty items: the expected items" yes "$(same Spaces-A.rws "$work/spaces-expected.rws")"

# A name GBK cannot hold, ending in a character whose last byte reads as a GBK lead byte:
# refused on standard error, and the save after it is still cleaned.
args "$(printf 'My \xec\x84\xb8\xec\x9d\xb4\xeb\xb8\x8c')" Compact.rws
expect "a name GBK cannot hold: refused, the next save cleaned, exit status 1" "${success}Compact-A-A.rws 1" \
    "$out $code"
grep -q "cannot be written in GBK" "$work/stderr" && told=yes || told=no
expect "a name GBK cannot hold: told on standard error" yes "$told"

# Leaders among the mothballed pawns are found there; with --mothballed that list keeps only
# the leaders' and the held pawns' items (those the list of pawns kept whatever happens names
# among them).
args Asleep.rws
expect "mothballed leaders: no leaders-missing box" "${success}Asleep-A.rws 0" "$out $code"
expect "mothballed leaders: the expected output" yes "$(same Asleep-A.rws "$work/asleep-expected.rws")"
args --mothballed Asleep.rws
expect "--mothballed: the expected output" yes "$(same Asleep-A-A.rws "$work/asleep-mothballed-expected.rws")"
expect "--mothballed: what each list lost" "(2 leaders, 3 held pawns; 1 living and 1 mothballed pawns removed)" \
    "$(grep -o '([0-9]* leaders.*)' "$work/stderr")"
expect "--mothballed: the leaders' and the held pawns' items are left" "Human106 Human107 Human109 Human110" \
    "$(mothballed_ids Asleep-A-A.rws | tr '\n' ' ' | sed 's/ $//')"
# Where no leader is in the living list, the summary says where they are.
printf '<savegame><game><world><factionManager><li><leader>Thing_H1</leader></li></factionManager><worldPawns>%s%s</worldPawns></world></game></savegame>' \
    '<pawnsAlive><li><def>Human</def><id>H2</id></li></pawnsAlive>' '<pawnsMothballed><li><def>Human</def><id>H1</id></li></pawnsMothballed>' >Moth.rws
args Moth.rws
expect "leaders only among the mothballed pawns: the summary says so" \
    "(1 leader, in the mothballed list, 0 held pawns; 1 living pawn removed)" "$(grep -o '([0-9]* leader.*)' "$work/stderr")"
rm -f Moth.rws Moth-A.rws

# The extra options, each alone and the four together: what each removed, no reference left
# to nothing that the run without them does not leave too; sorrel.ini beside the program
# turns them on as well; --report writes nothing.
args Extras.rws && mv Extras-A.rws Plain-A.rws
options=(--filth --tales --logs --dead --all)
for i in "${!options[@]}"; do
    args "${options[i]}" Extras.rws && mv Extras-A.rws "Extras${options[i]}-A.rws"
    expect "${options[i]}: what it removed; no new reference to nothing" \
        "(2 leaders, 0 held pawns; 6 living pawns removed; ${extras_removed[i]} removed) yes" \
        "$(grep -o '([0-9]* leaders.*)' "$work/stderr") $(no_new_dangling "Extras${options[i]}-A.rws" Plain-A.rws)"
done
mkdir -p "$work/ini" && cp "$sorrel" "$work/ini/sorrel"
printf '; 说明\r\n[options]\r\nfilth=1\r\ntales = 0\r\n[other]\r\nlogs=1\r\n' | iconv -f UTF-8 -t GBK >"$work/ini/sorrel.ini"
out=$("$work/ini/sorrel" --tales Extras.rws 2>&1 >/dev/null)
expect "sorrel.ini and an argument" "117 filth items, 24 tales removed" "$(grep -o '1[0-9]* filth.*tales' <<<"$out") removed"
mv Extras-A.rws Extras-ini-A.rws
printf '[options]\r\nall=1\r\n' >"$work/ini/sorrel.ini"
out=$("$work/ini/sorrel" Extras.rws 2>&1 >/dev/null)
expect "sorrel.ini: all=1 as --all" "(2 leaders, 0 held pawns; 6 living pawns removed; ${extras_removed[4]} removed)" \
    "$(grep -o '([0-9]* leaders.*)' <<<"$out")"
rm -f Extras-A.rws
# The settings file is found in a folder whose name GBK cannot spell; one that is a FIFO or
# a device is no settings file, and the run goes on at once.
mkdir -p "$work/한국" && cp "$sorrel" "$work/한국/sorrel" && printf '[options]\r\nfilth=1\r\n' >"$work/한국/sorrel.ini"
out=$("$work/한국/sorrel" Extras.rws 2>&1 >/dev/null)
expect "sorrel.ini in a folder GBK cannot spell" "117 filth items removed" "$(grep -o '1[0-9]* filth.*' <<<"$out" | tr -d ')')"
rm -f Extras-A.rws
for special in fifo /dev/zero; do
    rm -f "$work/ini/sorrel.ini"
    [ "$special" = fifo ] && mkfifo "$work/ini/sorrel.ini" || ln -s "$special" "$work/ini/sorrel.ini"
    out=$(timeout 20 "$work/ini/sorrel" Colony.rws 2>/dev/null </dev/null)
    code=$?
    expect "sorrel.ini as a $special: the run ends and writes" "${success}Colony-A-A-A.rws 0" "$(unchanged <<<"$out") $code"
    rm -f Colony-A-A-A.rws
done
before=$(listing)
args --report Extras.rws
expect "--report: the table, nothing written" "dead world pawns         30      0.07          0      0.00   --dead
filth                   120      0.02        117      0.02   --filth
tales                    30      0.01         24      0.01   --tales
logs                     44      0.01         38      0.01   --logs $before" "$(grep -E '^(dead|filth|tales|logs)' <<<"$out") $(listing)"
# On a save the run cannot clean, the report names the box the run would show.
args --report NoLeaders.rws Far.rws
expect "--report where the run writes nothing: its box, exit status 1" "[错误] 错误信息：未找到帮派首领信息
[错误] 错误代码：01 1 $before" "$(grep '^\[' <<<"$out") $code $(listing)"
# A file that is no save (a zip renamed): the box for no leaders, from the run and from the
# report alike, and nothing else.
printf 'PK\003\004\024\000\000\000<savegame><game>' >Zipped.rws
args Zipped.rws
expect "a zip renamed: the no-leaders box, exit status 1" "[错误] 错误信息：未找到帮派首领信息 1" "$out $code"
args --report Zipped.rws
expect "--report on a file that is no save: that box alone" "[错误] 错误信息：未找到帮派首领信息 1 $before" \
    "$out $code $(rm Zipped.rws && listing)"

# The saves the game wrote itself, where they are at hand: the literal steps' output, the
# same bytes as when this check was made (since the pawns the game keeps forever are held),
# and the summary line.
for pinned in FlatLand-B18:341a2dcffc0823e75c0747f2e935f5c4b416157853c677ccbf0e139751f43cbf:5:5:4 \
    RATS-1.5:3732225e13e9613278d1e1f7c94780c77e7a6cf8d0d1a1525ab3081525e393c4:8:5:0; do
    IFS=: read -r name sum leaders held removed <<<"$pinned"
    [ -f "$real/$name.rws" ] || { echo "skip  $name: no real save at $real"; continue; }
    cp "$real/$name.rws" .
    args "$name.rws"
    literal "$name.rws" "$work/$name-expected.rws"
    expect "$name: the literal steps' output" yes "$(same "$name-A.rws" "$work/$name-expected.rws")"
    expect "$name: the same bytes as ever, the summary line" \
        "$sum ($leaders leaders, $held held pawns; $removed living pawns removed)" \
        "$(sha256sum <"$name-A.rws" | cut -c1-64) $(grep -o '([0-9]* leaders.*)' "$work/stderr")"
done

# The summary names the file after the last "/", whole, whatever bytes its GBK form holds
# (the second byte of 賊 and of 誠 is a backslash's).
mkdir -p 淺灘 && gen 淺灘/誠.rws --pawns 3 --leaders 1 && gen 賊窩.rws --pawns 3 --leaders 1
args 賊窩.rws 淺灘/誠.rws
expect "the summary names the file whole" "賊窩.rws -> 賊窩-A.rws
誠.rws -> 誠-A.rws" "$(sed -E 's/^(.*): [0-9.]+ KB -> (.*) [0-9.]+ KB .*$/\1 -> \2/' "$work/stderr")"

# An empty argument names no save: said on standard error, the next save still cleaned.
args "" 賊窩.rws
expect "an empty argument: told, the next save cleaned, exit status 1" "sorrel: an empty argument names no save; not cleaned
(1 leader, 0 held pawns; 2 living pawns removed) ${success}賊窩-A-A.rws 1" \
    "$(sed -n 1p "$work/stderr")
$(grep -o '([0-9]* leader.*)' "$work/stderr") $out $code"

# Stopped at any moment of the run, the program leaves no file with a save's name but the
# whole output: a save whose output is half as large as itself, killed at fractions of the
# time a whole run takes here (the write is its last quarter or so).
gen Big.rws --size 60M --mothballed 9000 --seed 12
mkdir -p "$work/whole" && cp Big.rws "$work/whole/"
start=$(date +%s%N)
"$sorrel" "$work/whole/Big.rws" 2>/dev/null >/dev/null
took=$(($(date +%s%N) - start))
for percent in 10 50 70 78 84 88 92 96 100; do
    wait=$(awk -v t="$took" -v p="$percent" 'BEGIN { printf "%.3f", t * p / 100 / 1e9 }')
    "$sorrel" Big.rws >/dev/null 2>&1 &
    sleep "$wait"
    kill -9 $! 2>/dev/null
    wait $! 2>/dev/null
    for f in Big-A*.rws; do
        [ -e "$f" ] || continue
        cmp -s "$f" "$work/whole/Big-A.rws" || echo "killed after $wait s: $f is not the whole output"
    done
    rm -f Big-A*.rws Big-A*.tmp
done >"$work/kills"
expect "killed at any moment: no partial output under a save's name" "" "$(cat "$work/kills")"
rm -f Big.rws

# The program's own path with a blank and a quote; its command line comes from its own
# arguments, and without /proc too where the machine can hide it.
mkdir -p "$work/bin" && cp "$sorrel" "$work/bin/so\"rr el"
out=$("$work/bin/so\"rr el" Colony.rws 2>/dev/null </dev/null | unchanged)
expect "a program path with a blank and a quote" "${success}Colony-A-A-A.rws" "$out"
out=$(unshare --mount --propagation private sh -c 'mount -t tmpfs none /proc 2>/dev/null || exit 77
    exec "$0" Colony.rws' "$sorrel" 2>/dev/null </dev/null)
if [ $? -ne 0 ] && [ -z "$out" ]; then  # no namespace, or no mount in it
    echo "skip  without /proc: this machine cannot hide it"
else
    expect "without /proc: the save given is cleaned, the settings said to be unread" "${success}Colony-A-A-A-A.rws
[清理结果] 未能读取 sorrel.ini（找不到程序所在的文件夹），其中的选项未生效" "$(unchanged <<<"$out")"
fi
expect "no partial output left anywhere" "" "$(ls -A | grep '\.tmp$')"

expect "every output is XML, each pawn once" "" "$(unsound .)"
expect "every save read is unchanged" "$read_before" "$(inputs . && md5sum 'Odd"Name\.rws')"

exit $failed
