# Thin wrapper over CMake. `make test` builds and runs every test;
# `make sample` renders the sample scan, runs slscan on it and reports.
BUILD ?= build
JOBS ?= 2

.PHONY: all build test sample asan clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DSLSCAN_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSLSCAN_SANITIZE=ON -DSLSCAN_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

sample:
	tools/sample.sh

clean:
	rm -rf $(BUILD) build-asan
