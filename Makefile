# Entry points for people and CI. Everything is built by CMake + Ninja; this
# file only strings the steps together.
#
#   make build   install missing Debian packages, configure build/, build
#   make test    check the formatting, build, then run every test suite (plain,
#                then sanitizers + fuzzing)
#   make demo    build the plug-in, afs-scan and afs-sim (quietly), then run
#                scripts/demo.sh; KEEP=1 keeps its work folder and prints its path
#   make package build what the packages hold (no tests), then the Debian packages
#                (.deb and -dbgsym .ddeb) in build/
#   make clean   remove the build trees

BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
JOBS       ?= 2

# The suites `make test` runs, in order: the format check (clang-format with
# the checked-in .clang-format, and no line over its column limit), the plain
# build, then a clang build
# with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer in its
# own tree, which also runs every libFuzzer target for a bounded time.
SAN_DIR      ?= build-asan
FUZZ_SECONDS ?= 20
TEST_SUITES  := test-format test-unit test-sanitize

.PHONY: all deps build test $(TEST_SUITES) demo package clean

all: build

deps:
	scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: $(TEST_SUITES)

test-format: deps
	scripts/check-format.sh

test-unit: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS)

# Warnings are errors in the plain build; clang's own warning set is not
# held against the sanitizer tree.
test-sanitize: deps
	CC=clang CXX=clang++ cmake -S . -B $(SAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DAFS_SANITIZE=ON -DAFS_FUZZ=ON -DAFS_FUZZ_SECONDS=$(FUZZ_SECONDS) -DAFS_BUILD_BENCH=OFF -DAFS_WERROR=OFF
	cmake --build $(SAN_DIR) -j $(JOBS)
	ctest --test-dir $(SAN_DIR) --output-on-failure -j$(JOBS)

# Only what the demo runs, and only the build's errors on the terminal.
DEMO_TARGETS := NutanixAFSManager afs-scan afs-sim
demo:
	@scripts/install-deps.sh
	@mkdir -p $(BUILD_DIR)
	@{ cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS) && \
	   cmake --build $(BUILD_DIR) -j $(JOBS) --target $(DEMO_TARGETS); } > $(BUILD_DIR)/demo-build.log 2>&1 || \
	 { cat $(BUILD_DIR)/demo-build.log >&2; echo "demo: the build failed (log: $(BUILD_DIR)/demo-build.log)" >&2; exit 1; }
	@AFS_BUILD_DIR=$(BUILD_DIR) KEEP=$(KEEP) scripts/demo.sh

# Only what the packages hold: no test or benchmark is built for them.
PACKAGE_TARGETS := NutanixAFSManager afshost afs-scan afs-sim afs-host-symbols afs-man-pages afs-debian-changelog
package: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(PACKAGE_TARGETS)
	cd $(BUILD_DIR) && cpack --config CPackConfig.cmake

clean:
	rm -rf $(BUILD_DIR) $(SAN_DIR)
