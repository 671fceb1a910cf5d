# make run    installs missing packages, builds the workbench (Release) and starts it
# make test   the same set-up, then the whole test suite, headless
# make bench  the benchmarks, printed as one table
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench install clean

all: build

deps:
	@scripts/deps.sh build

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DIMAGEBENCH_WERROR=ON $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$${DISPLAY:-}" ] && [ -z "$${WAYLAND_DISPLAY:-}" ]; then \
	  echo "imagebench needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set."; exit 1; fi
	$(BUILD_DIR)/imagebench

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# A Release build of its own, so that the timings never come from a debug or
# sanitizer configuration.
bench:
	@scripts/deps.sh bench
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DIMAGEBENCH_WERROR=ON \
	  -DIMAGEBENCH_BENCH=ON -DIMAGEBENCH_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BENCH_DIR) -j $(JOBS) --target imagebench_bench
	$(BENCH_DIR)/bench/imagebench_bench $(BENCH_FLAGS)

install: build
	cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
