# make run   - install what is missing, build, start the relay
# make test  - install what is missing, build, run every test (plus a sanitizer build)
# make bench - build and run the benchmarks
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all deps build run test test-main test-asan bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/vorlanx

test: test-main test-asan

test-main: build
	cd $(BUILD) && ctest --output-on-failure --timeout 600

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVORLANX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure --timeout 900 -LE no-sanitizer

bench: build
	@for b in bench/run-*.sh; do [ -x "$$b" ] && "$$b" $(BUILD) || true; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
