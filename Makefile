# Thin wrapper over CMake. Every target first installs what is missing
# (tools/setup.sh, which also works without make: run it first on a bare
# machine). `make test` builds and runs every test, `make quick` the quick
# ones (those not labelled slow); `make sample` renders the sample scan, runs
# slscan on it and reports.
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
SAMPLE_DIR ?= work/sample

.PHONY: all build test quick sample model asan docs install clean

# The inner builds print one line per step, without entering-directory noise.
MAKEFLAGS += --no-print-directory

all: build

build:
	tools/setup.sh test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DSLSCAN_TESTS=ON -DSLSCAN_BENCH=ON \
	  -DSLSCAN_REQUIRE_ALL=ON
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

# The tests that take less than about 3 s each (those not labelled slow),
# for the edit-build-test loop; `make test` runs them all.
quick: build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS) -LE slow

asan:
	tools/setup.sh test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSLSCAN_SANITIZE=ON -DSLSCAN_BENCH=OFF \
	  -DSLSCAN_REQUIRE_ALL=ON
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure --no-tests=error -j $(JOBS)

sample:
	SAMPLE_DIR=$(SAMPLE_DIR) BUILD=$(BUILD) tools/sample.sh $(if $(CROSSINGS),--crossings)

# The whole path from a folder of photographs to the mesh and its preview,
# with CALIB first calibrating the rig from the chessboard photographs in
# CALIB (slscan-calibrate writes CALIB/rig.json; a refused calibration stops
# here): make model SCAN=dir [OUT=dir] [RIG=file | CALIB=dir BOARD=CxR
# SQUARE=S [CORNER_HEIGHT=H]] [CROSSINGS=1]
MODEL_USAGE = usage: make model SCAN=dir [OUT=dir] [RIG=file | CALIB=dir BOARD=CxR SQUARE=S [CORNER_HEIGHT=H]] [CROSSINGS=1]
model:
	@test -n "$(SCAN)" || { echo "$(MODEL_USAGE)" >&2; exit 2; }
	@test -z "$(CALIB)" || { test -n "$(BOARD)" && test -n "$(SQUARE)" && test -z "$(RIG)"; } || \
	  { echo "$(MODEL_USAGE) (CALIB needs BOARD and SQUARE, and no RIG)" >&2; exit 2; }
	@tools/setup.sh sample
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target slscan slscan-mask slscan-cloud slscan-preview \
	  $(if $(CALIB),slscan-calibrate) \
	  $$(cmake --build $(BUILD) --target help | grep -o 'slscan-mesh' | head -n 1) > /dev/null
	$(if $(CALIB),@$(BUILD)/tools/slscan-calibrate --board "$(BOARD)" --square "$(SQUARE)" \
	  $(if $(CORNER_HEIGHT),--corner-height "$(CORNER_HEIGHT)") "$(CALIB)")
	@BUILD=$(BUILD) tools/model.sh $(if $(OUT),--out "$(OUT)") $(if $(RIG),--rig "$(RIG)") \
	  $(if $(CALIB),--rig "$(CALIB)/rig.json") $(if $(CROSSINGS),--crossings) "$(SCAN)"

# The pictures in docs/, made by the commands the README prints under them.
docs:
	BUILD=$(BUILD) docs/make_figures.sh

# slscan and the tools into $(PREFIX)/bin.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The build folders and the sample's rendered photographs and results.
clean:
	rm -rf $(BUILD) build-asan build-fuzz $(SAMPLE_DIR) work/docs
