# Entry points for people and CI. Each target first installs, from Debian packages, what
# that target needs and is missing, no more (scripts/setup.sh does nothing when all is there).
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
PRESETS := native blocks32 asan win32 win64

FUZZ_SECONDS ?= 60
VERSION := 1.4.1.0
DIST_ZIP := build/dist/sorrel-$(VERSION)-win32.zip

.PHONY: setup run demo bench win32 run-win32 dist check-dist test fuzz build-fuzz $(addprefix build-,$(PRESETS)) $(addprefix test-,$(PRESETS))

setup:
	@bash scripts/setup.sh all

# What each preset's build needs (the sanitizer build and the one with the product's blocks of
# 32 bytes, which builds and runs the cleaner's tests only, are the native one's), and its
# tests: the Windows tests run under Wine.
SETUP_native := native
SETUP_blocks32 := native
SETUP_asan := native
SETUP_win32 := win32
SETUP_win64 := win64

$(addprefix build-,$(PRESETS)): build-%:
	@bash scripts/setup.sh $(SETUP_$*)
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

test-native test-blocks32 test-asan: test-%: build-%
	@echo "== tests: $* =="
	@ctest --preset $* -j $(JOBS)

test-win32 test-win64: test-%: build-%
	@bash scripts/setup.sh wine
	@echo "== tests: $* =="
	@ctest --preset $* -j $(JOBS)

build-fuzz:
	@bash scripts/setup.sh fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

# The cleaner under libFuzzer for FUZZ_SECONDS.
fuzz: build-fuzz
	@echo "== fuzz: $(FUZZ_SECONDS) s =="
	@scripts/fuzz.sh $(FUZZ_SECONDS) 2>build/fuzz/fuzz.log || { tail -40 build/fuzz/fuzz.log; exit 1; }
	@grep -E '^(Done|stat::number_of_executed_units|stat::slowest)' build/fuzz/fuzz.log

# Every build, every test: native, the cleaner's with blocks of 32 bytes, sanitizers, the
# Windows builds under Wine, a minute of fuzzing, the players' zip.
test: $(addprefix test-,$(PRESETS)) fuzz check-dist

# The players' zip: the product and its instructions in Chinese.
dist: build-win32
	@bash scripts/setup.sh dist
	@mkdir -p build/dist
	@python3 scripts/dist.py build/win32/sorrel.exe docs/使用说明.txt docs/sorrel.ini $(DIST_ZIP)

check-dist: dist
	@echo "== the players' zip =="
	@python3 tests/dist_check.py $(DIST_ZIP) build/win32/sorrel.exe

# The Linux program on your own saves: it lists the saves of the game's folder (or the
# current one) and reads a number or a path.
run: build-native
	@build/native/sorrel

# A generated save, cleaned through the real program, its path fed to the picker.
demo: build-native
	@mkdir -p build/demo
	@rm -f build/demo/*.rws
	@build/native/gen_save build/demo/Colony.rws --size 20M --leaders 6 --cjk
	@printf '%s\n' "$(CURDIR)/build/demo/Colony.rws" | build/native/sorrel 2>/dev/null
	@ls -l build/demo

# The program on generated 10 MB and 100 MB saves against cp and the literal steps (the saves
# are made once under build/native/bench). Not part of the tests.
bench: build-native
	@build/native/tools/bench

# The product, and the product under Wine for those with a display (and a machine that runs
# 32-bit code).
win32: build-win32
	@echo "built build/win32/sorrel.exe"

run-win32: build-win32
	@env LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 scripts/wine-run.sh build/win32/sorrel.exe
