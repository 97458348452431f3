# Thin front door over scripts/ and CMake. `make run` and `make test` are the
# two commands of the quick start; both install what they need first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench windows web clean

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

# The disk for the browser into build-web/: the static site and its zip.
# Its libraries are built once into the user's cache and reused; datas/,
# render-wav and render-frame (for the tests) come from the plain build.
web: deps
	cmake --preset plain >/dev/null
	cmake --build --preset plain -j $(JOBS) --target datas render-wav render-frame
	scripts/build-web-deps
	cmake --preset web >/dev/null
	cmake --build --preset web -j $(JOBS)

clean:
	rm -rf build build-*
