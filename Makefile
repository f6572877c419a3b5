# Entry points for people and CI. Each target first installs, from Debian packages, whatever
# the build needs and is missing (scripts/setup.sh does nothing when all is there).
JOBS ?= $(shell nproc)
PRESETS := native asan win32 win64

FUZZ_SECONDS ?= 60

.PHONY: setup run test fuzz build-fuzz $(addprefix build-,$(PRESETS)) $(addprefix test-,$(PRESETS))

setup:
	@bash scripts/setup.sh

$(addprefix build-,$(PRESETS)): build-%: setup
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

$(addprefix test-,$(PRESETS)): test-%: build-%
	@echo "== tests: $* =="
	@ctest --preset $* -j $(JOBS)

build-fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

# The cleaner under libFuzzer for FUZZ_SECONDS.
fuzz: build-fuzz
	@echo "== fuzz: $(FUZZ_SECONDS) s =="
	@scripts/fuzz.sh $(FUZZ_SECONDS) 2>build/fuzz/fuzz.log || { tail -40 build/fuzz/fuzz.log; exit 1; }
	@grep -E '^(Done|stat::number_of_executed_units|stat::slowest)' build/fuzz/fuzz.log

# Every build, every test: native, sanitizers, the Windows builds under Wine, a minute of
# fuzzing.
test: $(addprefix test-,$(PRESETS)) fuzz

run: build-native
	@echo "Sorrel's program shell is not built yet: only the runtime and its tests exist."
