# The two everyday commands: `make run` and `make test`.
# Other builds sit beside it, each in its own folder, and take the same targets:
#   make test SANITIZE=1                               ASan + UBSan, Debug, in build-asan
#   make test BUILD=build-release CONFIG=Release       -O3
#   make test CC=clang CXX=clang++ BUILD=build-clang   clang
# CTEST_ARGS go to ctest, for example CTEST_ARGS='-LE "x11|dbus|ocr|shells|slow"' to leave
# out the tests that check the environment rather than the compiler (see the labels).
# A folder keeps what its first configure saw: CONFIG, the compilers, CMAKE_FLAGS (for
# example -DTL_WERROR=OFF) and CFLAGS, CXXFLAGS and LDFLAGS from the environment.
SANITIZE ?= 0
CTEST_ARGS ?=
JOBS ?= $(shell nproc)
ifeq ($(SANITIZE),1)
BUILD ?= build-asan
CONFIG ?= Debug
TL_CMAKE_FLAGS := -DTL_SANITIZE=ON
else
BUILD ?= build
CONFIG ?= RelWithDebInfo
TL_CMAKE_FLAGS :=
endif
TL_CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=$(CONFIG)
# Compilers named on the command line or in the environment; make's own defaults (cc,
# g++) leave the choice to CMake.
ifneq ($(origin CC),default)
TL_CMAKE_FLAGS += -DCMAKE_C_COMPILER=$(CC)
endif
ifneq ($(origin CXX),default)
TL_CMAKE_FLAGS += -DCMAKE_CXX_COMPILER=$(CXX)
endif

.PHONY: all deps configure build test run snapshots bench fuzz clean format

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt | deps
	@cmake -S . -B $(BUILD) -G Ninja $(TL_CMAKE_FLAGS) $(CMAKE_FLAGS) >/dev/null

configure: deps $(BUILD)/build.ninja

build: configure
	@cmake --build $(BUILD) -j $(JOBS)
	@ln -sfn $(BUILD)/compile_commands.json compile_commands.json

test: build
	@cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 600 $(CTEST_ARGS)

run: build
	@scripts/demo $(BUILD)

# Every screen in light and dark, drawn off screen over sample profiles.
snapshots: build
	@scripts/demo --snapshots $(BUILD)

bench: build
	@if [ -x scripts/bench ]; then scripts/bench $(BUILD); else echo "No benchmarks yet."; fi

fuzz: deps
	@if [ -x scripts/fuzz ]; then scripts/fuzz; else echo "No fuzz targets yet."; fi

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release build-clang build-fuzz
