# make run   - install what building and running need, build the programs, start the relay
# make test  - install what the tests need, build, run every test (plus sanitizer builds and a
#             short run of every fuzz target)
# make windows - cross-build the Windows programs and their tests into build-win/
# make windows-package - the Windows zip and installer, in build-win/package/
# make bench - build and run the benchmarks
# make install / make uninstall - for the current user (PREFIX, default ~/.local)
# make fuzz  - build the fuzz targets with clang and run each FUZZ_SECONDS (60)
# make reliability - floods, faults and leaks against the relay (long; see docs/reliability.md)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
WIN_BUILD ?= build-win
# The programs whose tests run more than one thread (tests/ThreadTests.cmake).
TSAN_PROGRAMS ?= win32_tests winsock_tests winmm_tests net_tests midi_tests ui_tests tools_tests
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 3
JOBS ?= $(shell nproc)
# Tests side by side in each stage: most of a test's time is spent waiting
# (on a peer, a JACK cycle, Wine), so twice the cores keeps them busy.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) * 2 )))
PREFIX ?= $(HOME)/.local

.PHONY: all deps deps-run deps-windows deps-bench programs build windows windows-package test-windows run install uninstall test test-main test-asan test-tsan test-fuzz fuzz fuzz-build reliability bench clean

all: build

# One list of Debian packages per purpose (scripts/install-deps).
deps:
	@scripts/install-deps --test
deps-run:
	@scripts/install-deps --run
deps-windows:
	@scripts/install-deps --windows
deps-bench:
	@scripts/install-deps --bench

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLANX_WERROR=ON

# The programs alone: a first configuration leaves the tests out (they need
# packages running does not); a build folder that has them keeps them.
programs: deps-run
	$(CONFIGURE) $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)
	cmake --build $(BUILD) -j$(JOBS)

build: deps
	$(CONFIGURE) -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j$(JOBS)

# x86_64 Windows with MinGW-w64 (cmake/mingw-w64-x86_64.cmake), on the real Win32,
# Winsock and winmm; the stand-ins in platform/*/linux are not compiled.
windows: deps-windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLANX_WERROR=ON
	cmake --build $(WIN_BUILD) -j$(JOBS)

# A portable zip and a per-user installer (NSIS) of the three programs.
windows-package: windows
	packaging/build-packages $(WIN_BUILD)

run: programs
	./$(BUILD)/vorlanx

# For the current user, no root: PREFIX/lib/vorlanx with links in PREFIX/bin, a
# desktop entry, an icon and man pages. Uninstalling leaves the settings file.
install: $(if $(SKIP_BUILD),,programs)
	scripts/user-install install "$(BUILD)" "$(PREFIX)"

uninstall:
	scripts/user-install uninstall "$(PREFIX)"

test: test-main test-asan test-tsan test-fuzz test-windows

# Each stage runs its tests through scripts/test-stage: every test passes at its
# first run, except those labelled server-timing (they depend on the timing of a
# server no code of ours controls), which get one second try. Each stage ends
# with the tests that needed a second try, the skipped ones (a failure under
# CI=true) and any process the tests left behind (a failure).
test-main: build
	scripts/test-stage main $(BUILD) --output-on-failure --timeout 600 -j$(TEST_JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVORLANX_SANITIZE=ON -DVORLANX_WERROR=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  scripts/test-stage asan $(ASAN_BUILD) --output-on-failure --timeout 900 -j$(TEST_JOBS)

# ThreadSanitizer over the tests labelled "threads" only, to keep the run short.
# A JACK client whose server went away is left open on purpose (closing it
# breaks a newer client), so its library thread is never joined: no leak report.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLANX_SANITIZE=thread
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target $(TSAN_PROGRAMS)
	TSAN_OPTIONS=second_deadlock_stack=1:report_thread_leaks=0 \
	  scripts/test-stage tsan $(TSAN_BUILD) --output-on-failure --timeout 900 -L threads -j$(TEST_JOBS)

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVORLANX_SANITIZE=fuzzer -DBUILD_TESTING=OFF -DVORLANX_BUILD_APP=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers

fuzz: fuzz-build
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Windows programs and packages under Wine, in a fresh private prefix with
# its own display; held to the same rules as the other stages (scripts/test-stage).
test-windows: deps windows
	scripts/wine-test $(WIN_BUILD) -j$(TEST_JOBS)

# A few seconds per target: the targets build and their seeds pass. Each target
# runs once; nothing is tried twice.
test-fuzz: fuzz-build
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SMOKE_SECONDS)
	@echo "== fuzz smoke: second tries: none (each target runs once)"

# Full sizes: a million datagrams, ten minutes of traffic, 100,000 and 20,000 cycles.
RELIABILITY = $(BUILD)/bench/reliability/reliability
reliability: build
	RELAY=$(BUILD)/vorlanx $(RELIABILITY) cycles 100000 20000
	RELAY=$(BUILD)/vorlanx $(RELIABILITY) faults
	RELAY=$(BUILD)/vorlanx $(RELIABILITY) flood 1000000 20000
	RELAY=$(BUILD)/vorlanx $(RELIABILITY) soak 600 5000

bench: deps-bench build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	@for b in bench/run-*.sh; do [ -x "$$b" ] && "$$b" $(BUILD) || true; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD)
