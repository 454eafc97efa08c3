# make run    install what is missing, build (Release) and open the window
# make test   install what is missing, build and run every test
# make bench  build the benchmarks, generate their data and measure
# make test-sanitize  the test suite under AddressSanitizer and UndefinedBehaviorSanitizer

BUILD    ?= build
TYPE     ?= Release
WERROR   ?= OFF
JOBS     ?= 2
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE) -DQW_WERROR=$(WERROR)

.PHONY: all deps build run test bench test-sanitize clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/quiltwright

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	@cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQW_SANITIZE=ON -DQW_WERROR=$(WERROR) >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: build
	bench/run-all $(BUILD)

clean:
	rm -rf $(BUILD) build-sanitize
