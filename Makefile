# Thin front door over scripts/ and CMake. `make run` and `make test` are the
# two commands of the quick start; both install what they need first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench windows clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The disk reads datas/ under its working directory: the build tree has it.
run: build
	scripts/run-disk $(BUILD)

test: deps
	scripts/run-tests

bench: build
	scripts/run-benchmarks $(BUILD)

# The disk cross-built for 64-bit Windows into build-windows/: the program,
# its data, a zip and an installer.
windows: deps
	scripts/build-windows

clean:
	rm -rf build build-*
