# Velmora: `make run` installs what is missing, builds and starts the player;
# `make test` installs, builds and runs every test (then the engine tests under ThreadSanitizer).
BUILD      ?= build
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all deps build run test test-main test-tsan bench format clean package

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/velmora

test: build
	$(MAKE) --no-print-directory test-main
	$(MAKE) --no-print-directory test-tsan

test-main:
	QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
	  ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

$(TSAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DVELMORA_ENGINE_ONLY=ON -DVELMORA_TSAN=ON

test-tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) --timeout 600

package: build
	cmake --build $(BUILD) --target package

bench: build
	scripts/run-benchmarks $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(TSAN_BUILD)

# Extracts the looked-up texts into locale/default.pot and merges them into the catalogues.
.PHONY: catalogues
catalogues:
	scripts/update-catalogues
