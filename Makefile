# Entry points for people and CI. Each target first installs, from Debian packages, whatever
# the build needs and is missing (scripts/setup.sh does nothing when all is there).
JOBS ?= $(shell nproc)
PRESETS := native asan win32 win64

.PHONY: setup run test $(addprefix build-,$(PRESETS)) $(addprefix test-,$(PRESETS))

setup:
	@bash scripts/setup.sh

$(addprefix build-,$(PRESETS)): build-%: setup
	@cmake --preset $* >/dev/null
	@cmake --build --preset $* -j $(JOBS)

$(addprefix test-,$(PRESETS)): test-%: build-%
	@echo "== tests: $* =="
	@ctest --preset $* -j $(JOBS)

# Every build, every test: native, sanitizers, and the Windows builds under Wine.
test: $(addprefix test-,$(PRESETS))

run: build-native
	@echo "Sorrel's program shell is not built yet: only the runtime and its tests exist."
