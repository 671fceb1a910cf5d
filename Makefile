# make run    installs missing packages, builds the workbench (Release) and starts it
# make test   the same set-up, then the whole test suite, headless
# make bench  the benchmarks, printed as one table (BENCH_FILTER=complement
#             picks rows by name, a regular expression over
#             command/picture, e.g. 'edge-detection/8192' or 'open|save')
# make screenshot  the main window rendered offscreen into docs/screenshot.png
# make check  the whole test suite again, built with clang's address and
#             undefined-behaviour sanitizers
# make tsan   the tests of work shared between threads (TSAN_TESTS, a regular
#             expression over test names) built with clang's ThreadSanitizer
# make fuzz   the picture fuzzer, run for FUZZ_SECONDS
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
# make deb    dist/imagebench_<version>_amd64.deb (build-deb, Debian's flags)
# make deb-test  the package built, checked (lintian, desktop-file-validate,
#             appstreamcli), installed with apt-get, started, purged
#
# Every configuration is a preset in CMakePresets.json (cmake --preset NAME,
# cmake --build --preset NAME, ctest --preset NAME); this file only installs
# the packages a preset needs before configuring it, and runs it. The folders
# below are the presets' binaryDir. CMAKE_FLAGS is added to a first configure.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
TSAN_TESTS ?= Background|Progress|Cancel|Worker|WorkPool|Stall|RowParts|Quantizer
FUZZ_SECONDS ?= 60

.PHONY: all deps deps-bench deps-check build run test bench screenshot check tsan fuzz install clean \
        windows windows-test icon deb deb-test \
        arm64-test windows-bench

all: build

# The packages each preset needs (scripts/deps.sh). Every configure step
# below waits for its own (an order-only prerequisite), also under make -j.
deps:
	@scripts/deps.sh build
deps-bench:
	@scripts/deps.sh bench
deps-check:
	@scripts/deps.sh check

# configure <preset> <folder>: a folder is configured once; later changes to
# CMakeLists.txt reconfigure from within the build, a changed preset here.
define configure
cmake --preset $(1) $(CMAKE_FLAGS)
@touch $(2)/build.ninja
endef

build/build.ninja: CMakePresets.json | deps
	$(call configure,release,build)
build-check/build.ninja: CMakePresets.json | deps-check
	$(call configure,check,build-check)
build-tsan/build.ninja: CMakePresets.json | deps-check
	$(call configure,tsan,build-tsan)
build-fuzz/build.ninja: CMakePresets.json | deps-check
	$(call configure,fuzz,build-fuzz)
build-bench/build.ninja: CMakePresets.json | deps-bench
	$(call configure,bench,build-bench)

build: build/build.ninja
	cmake --build --preset release -j $(JOBS)

# The program itself says so when there is no display to open its window on.
run: build
	build/imagebench

test: build
	ctest --preset release -j $(JOBS)

# A Release build of its own, so that the timings never come from a debug or
# sanitizer configuration.
bench: build-bench/build.ninja
	cmake --build --preset bench -j $(JOBS)
	build-bench/bench/imagebench_bench $(if $(BENCH_FILTER),'--benchmark_filter=$(BENCH_FILTER)') $(BENCH_FLAGS)

screenshot:
	scripts/screenshot.sh

# A second build of everything with AddressSanitizer and UndefinedBehavior-
# Sanitizer; any report fails the test that caused it.
check: build-check/build.ninja
	cmake --build --preset check -j $(JOBS)
	ctest --preset check -j $(JOBS)

# Only the test programs are built; a test name matching TSAN_TESTS runs,
# and none matching is a failure.
tsan: build-tsan/build.ninja
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS) -R '$(TSAN_TESTS)'

# The picture fuzzer: bytes -> file -> TPicture::LoadFromFile -> every command.
# Seeds are small valid pictures of every kind; the corpus grows in FUZZ_CORPUS
# (build-fuzz/corpus) and crashing inputs land in FUZZ_ARTIFACTS
# (build-fuzz/artifacts/); FUZZ_FLAGS adds libFuzzer options.
fuzz: build-fuzz/build.ninja
	cmake --build --preset fuzz -j $(JOBS)
	FUZZ_SECONDS='$(FUZZ_SECONDS)' FUZZ_CORPUS='$(FUZZ_CORPUS)' FUZZ_ARTIFACTS='$(FUZZ_ARTIFACTS)' \
	  FUZZ_FLAGS='$(FUZZ_FLAGS)' ctest --preset fuzz --timeout $$(( $(FUZZ_SECONDS) + 300 ))

windows:
	scripts/windows.sh

deb:
	scripts/deb.sh

deb-test:
	scripts/deb-test.sh

windows-test:
	scripts/windows-test.sh

arm64-test:
	scripts/arm64-test.sh

windows-bench:
	BENCH_FILTER='$(BENCH_FILTER)' BENCH_FLAGS='$(BENCH_FLAGS)' scripts/windows-bench.sh

icon: build/build.ninja
	cmake --build --preset release --target icon

install: build
	cmake --install build

clean:
	rm -rf build build-check build-tsan build-fuzz build-bench build-windows build-windows-bench build-arm64 build-deb dist
