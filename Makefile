# The two commands of the README:
#   make run   - install what is missing, build, start the main job
#   make test  - install what is missing, build with sanitizers, run every test
# Everything else here is a step of those two, or a tool for packagers and developers:
#   make install [PREFIX=/usr/local] [DESTDIR=]  - build and install (programs, launcher, icons,
#                                                  metadata, man pages, completion, help documents)
#   make package                                 - build the Debian package in build/ and check it
#                                                  with lintian
#   make fuzz                                    - build the fuzz targets (clang, libFuzzer)

JOBS      ?= $(shell nproc)
GENERATOR := -G Ninja
BUILD     := build
ASAN      := build-asan
TSAN      := build-tsan
PREFIX    ?= /usr/local
DESTDIR   ?=

.PHONY: all deps build run test test-asan test-tsan bench fuzz install package clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-main $(BUILD)

test: deps test-asan test-tsan

# End-to-end tests drive real programs against the simulator under sanitizers on two cores; one
# that loses a timing race on a loaded machine gets one more try. Its first failure is still
# printed in full, and a test that fails twice fails the run.
RETRY ?= --repeat until-pass:2

test-asan:
	@cmake -S . -B $(ASAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DFK_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN) --output-on-failure $(RETRY) -j $(JOBS)

test-tsan:
	@cmake -S . -B $(TSAN) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DFK_TSAN=ON >/dev/null
	@cmake --build $(TSAN) -j $(JOBS)
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir $(TSAN) --output-on-failure $(RETRY) -j $(JOBS)

install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	@scripts/install-deps package
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@deb=$$(ls -t $(BUILD)/ferrovan-kest_*.deb | head -n 1); \
	  echo "package: $$deb"; \
	  lintian --fail-on error "$$deb"

bench: build
	@echo "benchmark programs are in $(BUILD)/bench/"

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFK_FUZZ=ON -DFK_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fk_fuzz_all

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) build-fuzz
