#!/bin/sh
# Runs the cleaner's fuzz target for a while (seconds, default 60), starting from a few
# small saves made here (odd but well-formed ones among them), with a dictionary of markup. A crash, a sanitizer report or an input that takes more than 10
# seconds stops it with a non-zero status and leaves the input in the build folder.
set -eu
build=build/fuzz
seconds=${1:-60}
mkdir -p "$build/seeds" "$build/corpus"
"$build/gen_save" "$build/seeds/two.rws" --pawns 2 --leaders 2
"$build/gen_save" "$build/seeds/cjk-lf.rws" --pawns 2 --leaders 1 --cjk --lf --seed 7
"$build/gen_save" "$build/seeds/compact.rws" --pawns 3 --leaders 2 --compact --leader-twice
"$build/gen_save" "$build/seeds/lf-empty.rws" --pawns 3 --leaders 2 --lf --empty-items --spaces
"$build/gen_save" "$build/seeds/mothballed.rws" --pawns 3 --leaders 2 --mothballed 2 --caravan 1
"$build/gen_save" "$build/seeds/held.rws" --pawns 4 --leaders 1 --caravan 1 --kidnapped 1 --quest 1 --ref-swallowed
"$build/gen_save" "$build/seeds/odd.rws" --pawns 4 --leaders 2 --odd-spellings --mothballed 2 --seed 3
"$build/gen_save" "$build/seeds/extras.rws" --pawns 3 --leaders 1 --extras 8 --compact
for seed in 1 2 3; do
  "$build/gen_save" "$build/seeds/odd-markup-$seed.rws" --odd-markup --pawns 4 --seed $seed --shift $((seed * 37))
done
printf '<savegame><game><world><factionManager><leader>Thing_A</leader></factionManager><worldPawns><pawnsAlive><li Class="x"/><id>A</id></li></pawnsAlive></worldPawns></world></game></savegame>' \
  > "$build/seeds/tiny.rws"
cd "$build"
exec ./tests/fuzz/clean_fuzz -max_total_time="$seconds" -timeout=10 -max_len=16384 -print_final_stats=1 \
  -dict=../../tests/fuzz/xml.dict corpus seeds
