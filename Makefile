# Entry points for people and CI. Everything is built by CMake + Ninja; this
# file only strings the steps together.
#
#   make build   install missing Debian packages, configure build/, build
#   make test    build, then run every test suite
#   make demo    build, then run scripts/demo.sh against the built plug-in
#   make clean   remove the build trees

BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
JOBS       ?= 2

# The suites `make test` runs, in order. The sanitizer build joins here as
# test-sanitize (its own tree, -DAFS_SANITIZE=ON).
TEST_SUITES := test-unit

.PHONY: all deps build test $(TEST_SUITES) demo clean

all: build

deps:
	scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: $(TEST_SUITES)

test-unit: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS)

demo: build
	AFS_BUILD_DIR=$(BUILD_DIR) scripts/demo.sh

clean:
	rm -rf $(BUILD_DIR)
