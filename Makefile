# The two commands that do everything on a fresh Debian machine:
#   make run    builds qb7uart and qb7uart-sim and starts the simulated board
#   make test   builds and runs every test: unit, whole-program and tmux tests,
#               the same suite under AddressSanitizer and UBSan, and a short
#               run of every fuzz target
# Smaller steps: make build, make check (plain tests only), make sanitize,
# make fuzz-smoke, make bench, make soak, make picture.

BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all build run test check sanitize fuzz-smoke bench soak picture clean

all: build

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB7_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/qb7uart-sim

check: build
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

test: check sanitize fuzz-smoke

bench: build
	$(BUILD)/bench/qb7_bench

soak: build
	$(BUILD)/bench/qb7_soak

# README's picture of the screen, from the real binary (needs python3).
picture: build
	bash docs/make_picture.sh $(BUILD) docs/screen.svg

clean:
	rm -rf build build-asan build-fuzz
