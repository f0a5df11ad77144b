# make setup | build | run | gallery | test | bench | dist
# A fresh Debian 12 machine needs nothing else: build and test install what
# is missing first (tools/setup.sh: as root, or through sudo when it has
# something to install).
#
# Two builds from the same sources: $(BUILD_DIR) for 32-bit Windows (the
# product, build/velmora.exe) and $(BUILD_DIR)/x64 for 64-bit Windows.
# test, run and bench use every width this machine can run (tools/widths).
# dist makes the release in dist/ (tools/dist.sh): the program's zips for
# both widths, the Kit package's zip and the installer, which it then
# installs and removes silently under Wine (tools/dist-check.sh).

BUILD_DIR ?= build
BUILD_DIR_64 ?= $(BUILD_DIR)/x64
CMAKE_FLAGS ?=

.PHONY: all setup build test bench run gallery dist

all: build

setup:
	tools/setup.sh

build: setup
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR)
	cmake -S . -B $(BUILD_DIR_64) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR_64)

test: build
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) VELMORA_BUILD_DIR_64=$(abspath $(BUILD_DIR_64)) tools/run-tests.sh

bench: build
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) VELMORA_BUILD_DIR_64=$(abspath $(BUILD_DIR_64)) tools/run-benchmarks.sh

run: build
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) VELMORA_BUILD_DIR_64=$(abspath $(BUILD_DIR_64)) tools/run-program.sh velmora.exe

gallery: build
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) VELMORA_BUILD_DIR_64=$(abspath $(BUILD_DIR_64)) tools/run-program.sh kitgallery.exe

dist: build
	tools/setup.sh --dist
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) VELMORA_BUILD_DIR_64=$(abspath $(BUILD_DIR_64)) tools/dist.sh
