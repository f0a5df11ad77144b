# make setup | build | run | test | bench
# A fresh Debian 12 machine needs nothing else: build and test install what
# is missing first (tools/setup.sh: as root, or through sudo when it has
# something to install).

BUILD_DIR ?= build
CMAKE_FLAGS ?=

.PHONY: all setup build test bench run

all: build

setup:
	tools/setup.sh

build: setup
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR)

test: build
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) tools/run-tests.sh

bench: build
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) tools/with-display.sh tools/run-benchmarks.sh

run: build
	VELMORA_BUILD_DIR=$(abspath $(BUILD_DIR)) tools/run-velmora.sh
