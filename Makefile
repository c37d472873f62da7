# The two commands of the README:
#   make run   - install what is missing, build, start the main job
#   make test  - install what is missing, build with sanitizers, run every test
# Everything else here is a step of those two, or a tool for packagers and developers:
#   make install [PREFIX=/usr/local] [DESTDIR=]  - build and install (programs, launcher, icons,
#                                                  metadata, man pages, completion, help documents)
#   make package                                 - build the Debian package in build/ and check it
#                                                  with lintian
#   make fuzz [FUZZ_SECONDS=10]                  - build the fuzz targets (clang, libFuzzer) and run
#                                                  each from its corpus for a short time

JOBS      ?= $(shell nproc)
GENERATOR := -G Ninja
BUILD     := build
ASAN      := build-asan
TSAN      := build-tsan
PREFIX    ?= /usr/local
FUZZ_SECONDS ?= 10
DESTDIR   ?=

.PHONY: all deps build run test test-asan test-tsan bench fuzz install package clean

all: build

deps:
	@scripts/install-deps

# The programs and what is installed with them, built with Debian's hardening flags; the test
# suites are built by the test targets, the benchmarks by `make bench`.
RELEASE := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFK_TESTS=OFF -DFK_HARDEN=ON

build: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) $(RELEASE) -DFK_BENCH=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-main $(BUILD)

test: deps test-asan test-tsan
	@cat $(ASAN)/passed-on-retry.txt $(TSAN)/passed-on-retry.txt 2>/dev/null | \
	  sed '1s/^/make test: passed only on retry:\n/; s/^/    /' || true

# Every test runs once. Only end-to-end tests (real programs against the simulator, under
# sanitizers on two cores) get a second try when nothing else failed; their first failure is
# printed in full, and the tests that passed only on retry are listed at the end.

test-asan:
	@cmake -S . -B $(ASAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DFK_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  scripts/run-tests $(ASAN) $(JOBS)

test-tsan:
	@cmake -S . -B $(TSAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DFK_TSAN=ON >/dev/null
	@cmake --build $(TSAN) -j $(JOBS)
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
	  scripts/run-tests $(TSAN) $(JOBS)

install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	@scripts/install-deps package
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@deb=$$(ls -t $(BUILD)/ferrovan-kest_*.deb | head -n 1); \
	  echo "package: $$deb"; \
	  lintian --fail-on error "$$deb"

bench: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) $(RELEASE) -DFK_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@echo "benchmark programs are in $(BUILD)/bench/"

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFK_FUZZ=ON -DFK_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fk_fuzz_all
	@scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) build-fuzz
