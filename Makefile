# SPDX-License-Identifier: GPL-3.0-or-later
# Velmora: `make run` installs what is missing, builds and starts the player;
# `make test` installs, builds and runs every test (then the threaded engine and opening tests under
# ThreadSanitizer).
# The tests and benchmarks are built only once a target that runs them has asked for them
# (VELMORA_BUILD_TESTS in the build folder's cache): a first `make run` builds the player alone.
BUILD      ?= build
TSAN_BUILD ?= build-tsan
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SOAK_MINUTES ?= 60
JOBS       ?= $(shell nproc)
# The tests spend most of their time waiting on loopback servers and timers (the whole suite uses
# about a sixth of the processor time it takes), so several run per core.
TEST_JOBS  ?= $(shell echo $$(( $$(nproc) * 4 )))
TSAN_JOBS  ?= $(shell echo $$(( $$(nproc) * 2 )))
# The test programs whose code runs threads: only these are built and run under ThreadSanitizer.
TSAN_TESTS ?= engine_tests opening_tests
space := $(subst ,, )
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps build run test test-main test-tsan bench format clean package package-check tests-on

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only what the player needs, whatever the cache says about the tests.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target velmora velmora_data
	$(BUILD)/bin/velmora

# Turns the tests on in $(BUILD) once; later runs find them on and configure nothing.
tests-on: deps
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON; \
	elif ! grep -qs '^VELMORA_BUILD_TESTS:BOOL=ON$$' $(BUILD)/CMakeCache.txt; then \
	  cmake -S . -B $(BUILD) -DVELMORA_BUILD_TESTS=ON; \
	fi

test: tests-on
	cmake --build $(BUILD) -j $(JOBS)
	$(MAKE) --no-print-directory test-main
	$(MAKE) --no-print-directory test-tsan

# --no-tests=error: a build folder configured without its tests fails instead of passing empty.
test-main:
	QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(TEST_JOBS) --timeout 300

$(TSAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DVELMORA_ENGINE_ONLY=ON -DVELMORA_TSAN=ON -DVELMORA_BUILD_TESTS=ON

test-tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	@grep -qs '^VELMORA_BUILD_TESTS:BOOL=ON$$' $(TSAN_BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(TSAN_BUILD) -DVELMORA_BUILD_TESTS=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure --no-tests=error -j $(TSAN_JOBS) --timeout 600 \
	  -L '^($(subst $(space),|,$(TSAN_TESTS)))$$'

package: build
	cmake --build $(BUILD) --target package

# The package just built (not an older version's left beside it) as Debian's own checker sees it:
# any error or warning fails.
package-check: package
	@scripts/install-deps lintian
	lintian --info --display-info --fail-on error,warning "$$(ls -t $(BUILD)/velmora_*.deb | head -n 1)"

# xdotool clicks the player's window in the idle and memory benchmarks; mpv is the memory reference.
# bench/compare-players runs the reference players beside ours, each in a window on Xvfb under
# openbox, sounding through a PulseAudio server of its own; ffmpeg makes its station's audio.
bench-deps:
	@scripts/install-deps xdotool mpv goodvibes strawberry openbox pulseaudio pulseaudio-utils \
	  x11-utils ffmpeg

bench: tests-on bench-deps
	cmake --build $(BUILD) -j $(JOBS)
	cmake --build $(BUILD) -j $(JOBS) --target velmora_benchmarks
	scripts/run-benchmarks $(BUILD)

.PHONY: fuzz fuzz-deps check-asan soak bench-deps

# Not part of `make test`: the parsers under libFuzzer for FUZZ_SECONDS each (FUZZ_PARALLEL at once).
$(FUZZ_BUILD)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DVELMORA_FUZZ=ON

fuzz-deps:
	@scripts/install-deps clang libclang-rt-dev

fuzz: fuzz-deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Not part of `make test`: the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVELMORA_ASAN=ON \
	  -DVELMORA_BUILD_TESTS=ON

check-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	@grep -qs '^VELMORA_BUILD_TESTS:BOOL=ON$$' $(ASAN_BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(ASAN_BUILD) -DVELMORA_BUILD_TESTS=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/asan-leaks.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure --no-tests=error -j $(JOBS) --timeout 900

# Not part of `make test`: SOAK_MINUTES of playback with title changes, drops and recording.
soak: tests-on
	cmake --build $(BUILD) -j $(JOBS) --target velmora_soak
	SOAK_MINUTES=$(SOAK_MINUTES) $(BUILD)/bin/velmora_soak

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(TSAN_BUILD)

# Extracts the looked-up texts into locale/default.pot and merges them into the catalogues.
.PHONY: catalogues
catalogues:
	scripts/update-catalogues
