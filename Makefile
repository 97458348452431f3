# The front door over CMake's presets. `make run` and `make test` are the two
# commands of the quick start; each installs what it needs first.
JOBS ?= $(shell nproc)
export CMAKE_BUILD_PARALLEL_LEVEL ?= $(JOBS)
export CTEST_PARALLEL_LEVEL ?= $(JOBS)
# The test and bench runs draw: with no display they get a private one.
SCREEN = $(if $(DISPLAY),,cmake/xscreen.py)
# make test's workflows, in order, and where each one builds.
WORKFLOWS = plain asan tsan windows web
tree = $(if $(filter plain,$(1)),build,build-$(1))

.PHONY: all disk run test bench windows web clean workflows

all: disk

# The program and its data alone, in build/, where it reads datas/.
disk:
	scripts/install-deps disk
	cmake --preset disk
	cmake --build --preset disk

# Escape (27) and a closed window (0) are the disk's two normal ends.
run: disk
	cd build && ./musicdisk || [ $$? -eq 27 ]

test:
	scripts/install-deps tests windows web
	$(SCREEN) $(MAKE) --no-print-directory -j2 workflows
	@cmake -DWORKFLOWS="$(WORKFLOWS)" -P cmake/test-summary.cmake
	@for w in $(foreach w,$(WORKFLOWS),$(call tree,$(w))); do [ "$$(cat $$w/workflow-status 2>/dev/null)" = 0 ] || exit 1; done

# Each workflow configures, builds and tests one preset, and leaves its
# status in its build tree for the summary; they run one after another, and
# the Windows and the browser libraries are built from source beside the
# first three, which mostly wait on windows and sound.
workflows: $(addprefix workflow-,$(WORKFLOWS))
workflow-%:
	@echo "=== workflow $*"
	@mkdir -p $(call tree,$*)
	@rm -f $(call tree,$*)/junit.xml
	@cmake --workflow --preset $*; echo $$? > $(call tree,$*)/workflow-status
workflow-asan: workflow-plain
workflow-tsan: workflow-asan
workflow-windows: workflow-tsan deps-windows
workflow-web: workflow-windows deps-web
deps-%:
	@mkdir -p build-$*
	@scripts/build-deps $* > build-$*/deps.log 2>&1 || echo "build-deps $* failed" >> build-$*/deps.log
	@cat build-$*/deps.log

bench:
	scripts/install-deps tests
	cmake --preset plain
	cmake --build --preset plain
	$(SCREEN) ctest --preset bench

# The disk cross-built for 64-bit Windows into build-windows/: the program,
# its data, a zip and an installer. The icon is drawn by the Linux build.
windows:
	scripts/install-deps windows
	cmake --preset plain
	cmake --build --preset plain --target render-frame datas
	scripts/build-deps windows
	cmake --preset windows
	cmake --build --preset windows

# The disk for the browser into build-web/: the static site and its zip.
# Its data, and for its tests the reference renders, come from the Linux
# build.
web:
	scripts/install-deps web
	cmake --preset plain
	cmake --build --preset plain --target datas render-wav render-frame
	scripts/build-deps web
	cmake --preset web
	cmake --build --preset web

clean:
	rm -rf build build-*
