#!/usr/bin/env bash
# End-to-end on Windows: the real sorrel.exe under Wine on a virtual display, worked by
# e2e_driver.exe from inside Wine; the driver reports the picker, every box and the exit code.
#   windows_e2e.sh BUILD_DIR SOURCE_DIR
# Exits 77 (skipped) when this machine cannot run the build's programs.
set -u
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd)
wine_run="$source/scripts/wine-run.sh"
cd "$build/tests"

# A display of our own, on a free number, stopped by its process id.
for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    kill -0 "$xvfb" 2>/dev/null && break
done
trap 'kill "$xvfb" 2>/dev/null' EXIT
export DISPLAY=":$n"

# A Wine prefix of its own: the unit tests' Wine, started without a display, would leave the
# desktop process of theirs unable to show a window.
export SORREL_WINEPREFIX="$build/wineprefix-e2e"

"$wine_run" ./e2e_driver.exe inspect ../sorrel.exe >e2e-inspect.txt 2>e2e-inspect.err
status=$?
if [ $status -ne 0 ]; then
    cat e2e-inspect.err
    [ $status -eq 77 ] && exit 77
    echo "FAIL  the driver could not inspect sorrel.exe (status $status)"
    exit 1
fi
inspect=$(tr -d '\r' <e2e-inspect.txt)

source "$source/tests/e2e/expect.sh"

expect "the carrier dialog's template" \
    "dialog 1000: ver 1 sig FFFF exstyle 00000008 style 00CA0840 items 0 at -2,-13 size 154,0" \
    "$(grep '^dialog 1000' <<<"$inspect")"
expect "no icon 129" "icon 129: none" "$(grep '^icon' <<<"$inspect")"
expect "version" "version: 1.4.1.0" "$(grep '^version' <<<"$inspect")"
expect "version strings" "FileDescription: Sorrel FileVersion: 1.4.1.0 ProductName: Sorrel ProductVersion: 1.4.1.0" \
    "$(grep -E '^(File|Product)' <<<"$inspect" | tr '\n' ' ' | sed 's/ $//')"
expect "large address aware" "large address aware: yes" "$(grep '^large address aware' <<<"$inspect")"
imports=$(grep '^imports' <<<"$inspect")
grep -qi msvfw32 <<<"$imports" && linked=yes || linked=no
expect "msvfw32.dll is not in the import table ($imports)" no "$linked"

saves="$SORREL_WINEPREFIX/drive_c/users/$(whoami)/AppData/LocalLow/Ludeon Studios/RimWorld/Saves"
windows_saves="C:\\users\\$(whoami)\\AppData\\LocalLow\\Ludeon Studios\\RimWorld\\Saves"
rm -rf "$saves"
mkdir -p "$saves"
gen() { "$wine_run" ../gen_save.exe "$@" 2>/dev/null; }
literal() { "$wine_run" ./literal_clean.exe "$@" 2>/dev/null; }
make_saves "$saves" "$build/tests"
ln -s "$build/no-such-folder/file" "$saves/Linked-A.rws"
listing() { ls -A "$saves" | tr '\n' ' '; }
read_before=$(inputs "$saves")

# The driver's report, in UTF-8, one line each. The program's texts are GBK: in this locale
# Wine's code page for the A functions is 936.
# Now and then Wine starts nothing: the driver reports nothing at all, or that it could not
# start the program. Then whatever the attempt left running is ended and the driver runs
# once more (its messages go to driver.log).
driver() {  # MODE ARG...
    local mode=$1 report p
    shift
    for attempt in 1 2; do
        report=$(env LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 "$wine_run" ./e2e_driver.exe "$mode" ../sorrel.exe "$@" \
            2>>"$build/tests/driver.log" | tr -d '\r' | iconv -f GBK -t UTF-8)
        [ -n "$report" ] && [ "${report#error: cannot start}" = "$report" ] && break
        echo "driver: '$report' from attempt $attempt ($mode $*)" >>"$build/tests/driver.log"
        for p in $(pgrep -f 'sorrel\.exe'); do grep -q e2e_driver "/proc/$p/cmdline" || kill "$p" 2>/dev/null; done
        sleep 1
    done
    # The success box's second line (what changed) is checked on its own (WHOLE=1).
    if [ -n "${WHOLE:-}" ]; then printf '%s\n' "$report"; else printf '%s\n' "$report" | grep -v '^原存档 ' || true; fi
}
drive() { driver run "$@"; }        # the picker: "cancel" or a file name to type
drive_args() { driver args "$@"; }  # saves given as arguments, as when dropped on the exe
opened="carrier: Sorrel visible=0 topmost=1
picker: 选择-需要清理的存档 | filter *.rws | folder Saves
picker waits: foreground=1"
success="box: [成功] 提示信息：存档以优化成功！请进入游戏查看！存档路径为：$windows_saves"

# Cancel. While the driver holds the picker open, the program's processor time over one
# second, from the system: a keeper that never rests would take most of a processor.
before=$(listing)
env LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 "$wine_run" ./e2e_driver.exe run ../sorrel.exe cancel >e2e-cancel.txt \
    2>/dev/null &
driving=$!
for _ in $(seq 600); do grep -q '^picker waits' e2e-cancel.txt && break; sleep 0.1; done
program=""
for p in $(pgrep -f 'sorrel\.exe'); do grep -q e2e_driver "/proc/$p/cmdline" || program=$p; done
ticks() { awk '{print $14 + $15}' "/proc/$program/stat" 2>/dev/null || echo 0; }
first=$(ticks)
sleep 1
busy=$((($(ticks) - first) * 1000 / $(getconf CLK_TCK)))
wait $driving
expect "cancel" "$opened
exit: 0" "$(tr -d '\r' <e2e-cancel.txt | iconv -f GBK -t UTF-8)"
expect "the program rests while the picker waits ($busy ms of processor time in 1 s)" yes \
    "$([ -n "$program" ] && [ "$busy" -lt 250 ] && echo yes || echo no)"
expect "cancel: nothing written" "$before" "$(listing)"

expect "clean" "$opened
$success\\Colony-A.rws
exit: 0" "$(drive Colony.rws)"
expect "clean: output identical to the literal steps" yes "$(same "$saves/Colony-A.rws" "$build/tests/expected.rws")"
expect "again, the box says what changed" "$opened
$success\\Colony-A-A.rws
原存档 32.4 KB，新存档 17.4 KB；移除存活的世界人物 6 个
exit: 0" "$(WHOLE=1 drive Colony.rws)"
expect "again: same output" yes "$(same "$saves/Colony-A-A.rws" "$build/tests/expected.rws")"

expect "a caravan" "$opened
$success\\Caravan-A.rws
exit: 0" "$(drive Caravan.rws)"
expect "a caravan: output identical to the literal steps" yes \
    "$(same "$saves/Caravan-A.rws" "$build/tests/caravan-expected.rws")"
expect "a caravan: its pawns are kept, once each" "$(caravan_pawns "$saves/Caravan.rws")" \
    "$(kept_once "$saves/Caravan-A.rws" "$saves/Caravan.rws")"

before=$(listing)
expect "no leaders" "$opened
box: [错误] 错误信息：未找到帮派首领信息
exit: 0" "$(drive NoLeaders.rws)"
expect "error code 01" "$opened
box: [错误] 错误代码：01
exit: 0" "$(drive Far.rws)"
expect "a save that does not exist" "$opened
box: [错误] 错误信息：存档不存在：$windows_saves\\Missing.rws
exit: 0" "$(drive Missing.rws)"
expect "nothing written by these" "$before" "$(listing)"

# A link whose target is missing stands at the first name: the output takes the next one
# and nothing is made where the link points.
expect "a link at the name" "$opened
$success\\Linked-A-A.rws
exit: 0" "$(drive Linked.rws)"
[ -L "$saves/Linked-A.rws" ] && [ ! -e "$build/no-such-folder" ] && link=untouched || link=followed
expect "a link at the name: the link stays, its target is not made" untouched "$link"

# The disk fills up during the write (a file size limit, its signal ignored): the box, and
# the partial file is taken away again.
before=$(listing)
expect "a write that fails" "$opened
box: [错误] 错误信息：存档写入失败：$windows_saves\\Full-A.rws
原因：未能完整写入
exit: 0" "$(trap '' XFSZ; ulimit -f 1; drive Full.rws)"
expect "a write that fails: nothing left behind" "$before" "$(listing)"

# Saves given as arguments: no picker, the same boxes, and the exit status says whether
# every save was written.
expect "one save as an argument, a blank in its path" "$success\\Two Words-A.rws
exit: 0" "$(drive_args "$windows_saves\\Two Words.rws")"
expect "two saves, the first with error code 01" "box: [错误] 错误代码：01
$success\\Two Words-A-A.rws
exit: 1" "$(drive_args "$windows_saves\\Far.rws" "$windows_saves\\Two Words.rws")"
before=$(listing)
expect "a path that names nothing" "box: [错误] 错误信息：存档不存在：$windows_saves\\Nothing.rws
exit: 1" "$(drive_args "$windows_saves\\Nothing.rws")"
expect "a path that names nothing: nothing written" "$before" "$(listing)"
expect "an empty argument names no save" "box: [错误] 错误信息：存档不存在：
exit: 1" "$(drive_args "")"
expect "other layouts" "$success\\Compact-A.rws
$success\\Spaces-A.rws
exit: 0" "$(drive_args "$windows_saves\\Compact.rws" "$windows_saves\\Spaces.rws")"
# Leaders among the mothballed pawns; --mothballed as a shortcut gives it, after the save
# and, with no save, for the one picked.
expect "mothballed leaders: no leaders-missing box" "$success\\Asleep-A.rws
exit: 0" "$(drive_args "$windows_saves\\Asleep.rws")"
expect "--mothballed after the save" "$success\\Asleep-A-A.rws
exit: 0" "$(drive_args "$windows_saves\\Asleep.rws" --mothballed)"
expect "--mothballed with the picker" "$opened
$success\\Asleep-A-A-A.rws
exit: 0" "$(drive Asleep.rws --mothballed)"
expect "mothballed: the expected outputs" "yes yes yes" "$(same "$saves/Asleep-A.rws" "$build/tests/asleep-expected.rws") \
$(same "$saves/Asleep-A-A.rws" "$build/tests/asleep-mothballed-expected.rws") \
$(same "$saves/Asleep-A-A-A.rws" "$build/tests/asleep-mothballed-expected.rws")"
expect "other layouts: the expected items" "yes yes" \
    "$(same "$saves/Compact-A.rws" "$build/tests/compact-expected.rws") $(same "$saves/Spaces-A.rws" "$build/tests/spaces-expected.rws")"

# The extra options as arguments, from sorrel.ini beside the program, and from both: the box
# of what each removed, and no reference left to nothing that the run without them does not
# leave too; --report in a box, nothing written.
removed() { grep -o '[^：]*：移除 [0-9]* 项' | sed 's/^box: \[清理结果\] //' | tr '\n' ' ' | sed 's/ $//'; }
ini="$build/sorrel.ini"
rm -f "$ini"
drive_args "$windows_saves\Extras.rws" >/dev/null && mv "$saves/Extras-A.rws" "$saves/Plain-A.rws"
actual=""
for how in "--all:" "-:filth=1" "--tales:filth=1"; do
    option=${how%%:*} setting=${how#*:}
    [ -n "$setting" ] && printf '; 每个选项\r\n[options]\r\n%s\r\ndead = 0\r\n' "$setting" | iconv -f UTF-8 -t GBK >"$ini"
    args=("$windows_saves\Extras.rws")
    [ "$option" != - ] && args+=("$option")
    report=$(drive_args "${args[@]}")
    rm -f "$ini"
    mv "$saves/Extras-A.rws" "$saves/Extras$option$setting-A.rws"
    actual+="$(removed <<<"$report") $(no_new_dangling "$saves/Extras$option$setting-A.rws" "$saves/Plain-A.rws")
"
done
expect "extra options: by argument, by sorrel.ini, by both" "污物：移除 117 项 故事：移除 24 项 日志：移除 38 项 死亡的世界人物：移除 10 项 yes
污物：移除 117 项 yes
污物：移除 117 项 故事：移除 24 项 yes
" "$actual"
# sorrel.ini beside a program in a folder whose name the code page cannot spell: found
# through the wide calls. The driver starts the program by a name relative to that folder,
# which Wine reads as UTF-8 (LC_CTYPE) while the system's locale stays Chinese (LANG).
far="$build/한국"
mkdir -p "$far" && cp ../sorrel.exe "$far/" && printf '[options]\r\nfilth=1\r\n' >"$far/sorrel.ini"
report=$(cd "$far" && env -u LC_ALL LANG=zh_CN.UTF-8 LC_CTYPE=C.UTF-8 "$wine_run" "$build/tests/e2e_driver.exe" args sorrel.exe \
    "$windows_saves\Extras.rws" 2>>"$build/tests/driver.log" | tr -d '\r' | iconv -f GBK -t UTF-8)
expect "sorrel.ini in a folder the code page cannot spell" "污物：移除 117 项" "$(removed <<<"$report")"
rm -rf "$far" "$saves/Extras-A.rws"
before=$(listing)
expect "--report where the run writes nothing: the box it would show, exit status 1" "此存档无法清理，清理时会显示：
错误信息：未找到帮派首领信息
exit: 1
此存档无法清理，清理时会显示：
错误代码：01
exit: 1" "$(for save in NoLeaders Far; do drive_args "$windows_saves\\$save.rws" --report | grep --no-group-separator -A1 -E '^(此存档|exit)'; done)"
expect "--report: in a box, nothing written" "box: [存档分析] 存档大小：0.13 MB
污物：120 项，0.02 MB；--filth 移除 117 项，0.02 MB
exit: 0 $before" "$(drive_args "$windows_saves\Extras.rws" --report | grep -E '^(box|污物|exit)') $(listing)"

# The saves the game wrote itself, where they are at hand: the same bytes as on Linux.
for pinned in FlatLand-B18:341a2dcffc0823e75c0747f2e935f5c4b416157853c677ccbf0e139751f43cbf \
    RATS-1.5:3732225e13e9613278d1e1f7c94780c77e7a6cf8d0d1a1525ab3081525e393c4; do
    name=${pinned%%:*}
    [ -f "$source/../shared/saves/$name.rws" ] || { echo "skip  $name: no real save"; continue; }
    cp "$source/../shared/saves/$name.rws" "$saves/"
    expect "$name" "$success\\$name-A.rws
exit: 0 ${pinned#*:}" "$(drive_args "$windows_saves\\$name.rws") $(sha256sum <"$saves/$name-A.rws" | cut -c1-64)"
done

expect "every output is XML, each pawn once" "" "$(unsound "$saves")"
expect "no partial output left (the output is written under .tmp, then moved)" "" "$(ls -A "$saves" | grep '\.tmp$')"
expect "every save read is unchanged" "$read_before" "$(inputs "$saves")"

exit $failed
