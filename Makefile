# make run    installs missing packages, builds the workbench (Release) and starts it
# make test   the same set-up, then the whole test suite, headless
# make bench  the benchmarks, printed as one table (BENCH_FILTER=complement
#             picks rows by name, a regular expression over
#             command/picture, e.g. 'edge-detection/8192' or 'open|save')
# make screenshot  the main window rendered offscreen into docs/screenshot.png
# make check  the whole test suite again, built with clang's address and
#             undefined-behaviour sanitizers (build-check)
# make fuzz   the picture fuzzer (build-fuzz), run for FUZZ_SECONDS
# make windows       Qt for MinGW (built once into ~/.cache/imagebench), the
#                    cross build, dist/imagebench-<version>-windows-x64.zip and
#                    dist/imagebench-<version>-setup.exe
# make windows-test  the whole cross-built suite under Wine, then the smoke run
#                    of the installer and the installed program on Xvfb
# make windows-bench the benchmark table (BENCH_FILTER as for make bench),
#                    cross-built for Windows and run under Wine
# make arm64-test   the picture layer and unit tests cross-built for 64-bit
#                    ARM Linux (build-arm64) and run under qemu-aarch64
# make icon   packaging/imagebench.ico (the Windows icon) from the drawing
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench screenshot check fuzz install clean windows windows-test icon
.PHONY: arm64-test windows-bench

all: build

deps:
	@scripts/deps.sh build

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DIMAGEBENCH_WERROR=ON $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@# Only an X11 or Wayland window needs DISPLAY or WAYLAND_DISPLAY; Windows
	@# and macOS always have their desktop.
	@case "$$(uname -s)" in Darwin|MINGW*|MSYS*|CYGWIN*|Windows*) ;; *) \
	  case "$${QT_QPA_PLATFORM:-xcb}" in xcb*|wayland*) \
	    if [ -z "$${DISPLAY:-}" ] && [ -z "$${WAYLAND_DISPLAY:-}" ]; then \
	      echo "imagebench needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set."; exit 1; fi ;; \
	  esac ;; \
	esac
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
	$(BENCH_DIR)/bench/imagebench_bench $(if $(BENCH_FILTER),'--benchmark_filter=$(BENCH_FILTER)') $(BENCH_FLAGS)

screenshot: build
	BUILD_DIR=$(BUILD_DIR) scripts/screenshot.sh

# A second build of everything with AddressSanitizer and UndefinedBehavior-
# Sanitizer; any report fails the test that caused it. Qt's and the system
# libraries' own one-off allocations are listed in tests/lsan.supp.
CHECK_DIR ?= build-check
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g
ASAN_BASE_OPTIONS = detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
# The suite records whole allocation stacks, so that a leak inside Qt (built
# without frame pointers) is told from ours by the Qt function above it.
ASAN_CHECK_OPTIONS = $(ASAN_BASE_OPTIONS):fast_unwind_on_malloc=0
SANITIZER_ENV = ASAN_OPTIONS=$(ASAN_BASE_OPTIONS) \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

$(CHECK_DIR)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(CHECK_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DIMAGEBENCH_WERROR=ON -DCMAKE_CXX_FLAGS="$(SANITIZE)" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" $(CMAKE_FLAGS)

check: $(CHECK_DIR)/build.ninja
	@scripts/deps.sh check
	cmake --build $(CHECK_DIR) -j $(JOBS)
	cd $(CHECK_DIR) && $(SANITIZER_ENV) ASAN_OPTIONS=$(ASAN_CHECK_OPTIONS) QT_QPA_PLATFORM=offscreen \
	  ctest --output-on-failure -j $(JOBS)

# The picture fuzzer: bytes -> file -> TPicture::LoadFromFile -> every command.
# Seeds are small valid pictures of every kind; the corpus grows in FUZZ_CORPUS
# and crashing inputs land in FUZZ_ARTIFACTS.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_CORPUS ?= $(FUZZ_DIR)/corpus
FUZZ_ARTIFACTS ?= $(FUZZ_DIR)/artifacts/
FUZZ_FLAGS ?=

$(FUZZ_DIR)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DIMAGEBENCH_WERROR=ON -DIMAGEBENCH_TESTS=OFF -DIMAGEBENCH_FUZZ=ON \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" $(CMAKE_FLAGS)

fuzz: $(FUZZ_DIR)/build.ninja
	@scripts/deps.sh check
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target imagebench_fuzz_picture imagebench_fuzz_corpus
	mkdir -p $(FUZZ_CORPUS) $(FUZZ_ARTIFACTS) $(FUZZ_DIR)/seeds
	$(FUZZ_DIR)/fuzz/imagebench_fuzz_corpus $(FUZZ_DIR)/seeds
	$(SANITIZER_ENV) $(FUZZ_DIR)/fuzz/imagebench_fuzz_picture -max_total_time=$(FUZZ_SECONDS) \
	  -artifact_prefix=$(FUZZ_ARTIFACTS) -rss_limit_mb=4096 -timeout=30 $(FUZZ_FLAGS) $(FUZZ_CORPUS) $(FUZZ_DIR)/seeds

windows:
	scripts/windows.sh

windows-test:
	scripts/windows-test.sh

arm64-test:
	scripts/arm64-test.sh

windows-bench:
	BENCH_FILTER='$(BENCH_FILTER)' BENCH_FLAGS='$(BENCH_FLAGS)' scripts/windows-bench.sh

icon: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) --target icon

install: build
	cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(CHECK_DIR) $(FUZZ_DIR) build-windows build-windows-bench build-arm64 dist
