# Thin wrapper over CMake. `make test` builds and runs every test;
# `make sample` renders the sample scan, runs slscan on it and reports.
BUILD ?= build
JOBS ?= 2

.PHONY: all build test sample model asan clean

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

# The whole path from a folder of photographs to the mesh and its preview:
# make model SCAN=dir [OUT=dir]
model:
	@test -n "$(SCAN)" || { echo "usage: make model SCAN=dir [OUT=dir]" >&2; exit 2; }
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target slscan slscan-mask slscan-cloud slscan-preview \
	  $$(cmake --build $(BUILD) --target help | grep -o 'slscan-mesh' | head -n 1) > /dev/null
	@BUILD=$(BUILD) tools/model.sh $(SCAN) $(OUT)

clean:
	rm -rf $(BUILD) build-asan
