# The two everyday commands: `make run` and `make test`.
SANITIZE ?= 0
JOBS ?= $(shell nproc)
ifeq ($(SANITIZE),1)
BUILD ?= build-asan
CMAKE_FLAGS += -DTL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
BUILD ?= build
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

.PHONY: all deps configure build test run bench fuzz clean format

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt | deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

configure: deps $(BUILD)/build.ninja

build: configure
	@cmake --build $(BUILD) -j $(JOBS)
	@ln -sfn $(BUILD)/compile_commands.json compile_commands.json

test: build
	@cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 600

run: build
	@if [ -x scripts/demo ]; then scripts/demo $(BUILD); \
	else echo "Built into $(BUILD)/TwinLantern.app. Nothing to start yet."; fi

bench: build
	@if [ -x scripts/bench ]; then scripts/bench $(BUILD); else echo "No benchmarks yet."; fi

fuzz: deps
	@if [ -x scripts/fuzz ]; then scripts/fuzz; else echo "No fuzz targets yet."; fi

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-fuzz
