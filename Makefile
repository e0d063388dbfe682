# The two commands that do everything on a fresh Debian machine, each first
# installing the Debian packages it needs (scripts/deps.sh):
#   make run    builds qb7uart and qb7uart-sim and starts the simulated board
#   make test   builds and runs every test: unit, whole-program, tmux, real
#               emulators and the package, the same suite built with clang
#               under AddressSanitizer and UBSan, and a short run of every
#               fuzz target
# Smaller steps: make build, make check (plain tests only), make sanitize,
# make fuzz-smoke, make bench, make soak, make picture, make package.

BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all deps test-deps build run test check sanitize fuzz-smoke bench soak picture package clean

all: build

# What the build needs, and what the tests need besides, installed when
# missing (as root, or through sudo; otherwise the apt-get line to run).
deps:
	bash scripts/deps.sh build

test-deps:
	bash scripts/deps.sh test

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB7_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/qb7uart-sim

check: test-deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# With clang, so that every run of make test builds the tree with both
# compilers (the plain build uses the system's c++, GCC on Debian).
sanitize:
	CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQB7_SANITIZE=ON -DQB7_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

fuzz-smoke:
	bash fuzz/run_fuzzers.sh $(FUZZ_SECONDS)

test: test-deps check sanitize fuzz-smoke

# The Debian package: build-pkg/qb7uart_VERSION_amd64.deb, checked by lintian.
package:
	bash scripts/deps.sh package
	bash packaging/build_deb.sh

bench: build
	$(BUILD)/bench/qb7_bench

soak: build
	$(BUILD)/bench/qb7_soak

# README's picture of the screen, from the real binary (needs python3).
picture: build
	bash docs/make_picture.sh $(BUILD) docs/screen.svg

clean:
	rm -rf build build-asan build-fuzz build-pkg
