# make run        install what the window needs, build it (Release) and open it
# make test       install what the tests need too, build and run every test
# make bench      build the benchmarks, generate their data and measure
# make install    install under PREFIX (/usr/local), into DESTDIR when given; built as you, and
#                 where you may not write, it prints the one command to run as root
# make uninstall  remove what make install put there
# make package    build a Debian package (build/quiltwright_VERSION_ARCH.deb)
# make test-sanitize  the test suite under AddressSanitizer and UndefinedBehaviorSanitizer
# make test-tsan  the tests of what runs on several threads, under ThreadSanitizer

BUILD    ?= build
TYPE     ?= Release
WERROR   ?= OFF
JOBS     ?= 2
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE) -DQW_WERROR=$(WERROR)

FUZZ_SECONDS ?= 60
PREFIX  ?= /usr/local
# No test may run longer than this (seconds): a test that hangs fails instead of stalling CI.
TEST_TIMEOUT ?= 120
# ctest: no test found is a failure, not a pass; a test that could not run shows as skipped.
CTEST = ctest --no-tests=error --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS)

.PHONY: all deps test-deps configure build run test bench test-sanitize test-tsan fuzz install uninstall package clean

all: build

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --test
	@scripts/fetch-engine $(BUILD)

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only what the window needs: the program and its icons; tests and benchmarks wait for make test.
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quiltwright qw_icons
	$(BUILD)/quiltwright

test: test-deps build
	@cd $(BUILD) && $(CTEST); status=$$?; $(CURDIR)/scripts/skipped-tests Testing/Temporary/LastTest.log; exit $$status

test-sanitize: test-deps
	@scripts/fetch-engine build-sanitize
	@cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQW_SANITIZE=ON -DQW_WERROR=$(WERROR) >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 $(CTEST); status=$$?; \
	  $(CURDIR)/scripts/skipped-tests Testing/Temporary/LastTest.log; exit $$status

# The tests of what runs on several threads (Combine, Save, the PNG writer, the batch tool) under
# ThreadSanitizer.
TSAN_TESTS = Combine|DropToFloor|PaintRun|Scale|Geometry|Batch|FrameList|Save|GetContents|ReadAhead|PictureWriter|PngWriter|PngWhilePainting|Sheet\.
test-tsan: test-deps
	@scripts/fetch-engine build-tsan
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQW_TSAN=ON -DQW_WERROR=$(WERROR) >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@# die_after_fork=0: the tests start programs (fork, then exec) from a process Qt has threads in.
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=1:die_after_fork=0:suppressions=$(CURDIR)/tests/tsan.supp \
	  $(CTEST) -R '$(TSAN_TESTS)'; status=$$?; $(CURDIR)/scripts/skipped-tests Testing/Temporary/LastTest.log; exit $$status

# Built as the user who runs it; run as root on a build folder of another user's, it builds
# nothing (root-owned files there could not be removed by that user) and installs what is built.
install:
	@if [ "$$(id -u)" -ne 0 ] || [ ! -d $(BUILD) ] || [ "$$(stat -c %u $(BUILD))" -eq 0 ]; then \
	  $(MAKE) --no-print-directory build; fi
	@scripts/install-program install $(BUILD) $(PREFIX) "$(DESTDIR)"

uninstall:
	@scripts/install-program uninstall $(BUILD) $(PREFIX) "$(DESTDIR)"

package: build
	@scripts/install-deps dpkg-dev
	cd $(BUILD) && cpack -G DEB

bench: build
	bench/run-all $(BUILD)

# Each fuzz target for FUZZ_SECONDS, seeded from the BMP corpus; new crashes land in fuzz/crashes.
fuzz: deps
	@scripts/install-deps clang libclang-rt-14-dev
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQW_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@mkdir -p build-fuzz/corpus/bmp build-fuzz/corpus/text fuzz/crashes
	@cp -n tests/data/bmpsuite/*/*.bmp build-fuzz/corpus/bmp/
	@cp -n tests/data/fuzz/text-* build-fuzz/corpus/text/ 2>/dev/null || true
	@printf '64\0*.bmp' > build-fuzz/corpus/text/seed1; printf '&H40px\0[!a-c]#?*' > build-fuzz/corpus/text/seed2
	build-fuzz/fuzz/bmp_fuzz -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -malloc_limit_mb=80 \
	  -artifact_prefix=fuzz/crashes/ build-fuzz/corpus/bmp
	build-fuzz/fuzz/text_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=256 -artifact_prefix=fuzz/crashes/ build-fuzz/corpus/text

clean:
	rm -rf $(BUILD) build-sanitize build-tsan build-fuzz
