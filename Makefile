# Kestrum: every target sets up what it needs on a fresh Debian 12 machine.
#   make build   build everything (the tool ends up at build/bin/kestrum)
#   make test    build and run all tests, then again under ASan+UBSan, a short fuzz run, the
#                Qt 6 build and the Windows tests under Wine
#   make demo    the main job on the bundled sample map
#   make bench   the benchmarks (release build)
#   make install the tool, the plug-in and the manual page under PREFIX (default ~/.local;
#                DESTDIR for staging), stripped, from a Release build in build-install
#   make deb     a Debian package of the same in build-install/
#   make qt6     build the tool and the plug-in against Qt 6 (build-qt6)
#   make windows       the core, its tests and the Qt-free tool for Windows, 64- and 32-bit
#   make test-windows  those under Wine, and the tool's output against the Linux tool's

SHELL := /bin/bash
PACKAGES := cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
            qtbase5-dev qt6-base-dev fonts-liberation2 libjpeg62-turbo-dev doublecmd-qt xvfb xdotool imagemagick \
            dpkg-dev xclip ccache
# Builds in other folders (a clean checkout, a second tree) share the compiler cache.
export CCACHE_BASEDIR := $(CURDIR)
# The -posix compilers (std::thread); GoogleTest has no MinGW build: the Windows tests compile
# it from the googletest sources.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine wine64 wine32:i386
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
FUZZ_SECONDS ?= 60
SAMPLE := data/sample.map
PREFIX ?= $(HOME)/.local
# ICONS_LIB=FILE installs that icon library as icons.lib beside the plug-in.
ICONS_LIB ?=

.PHONY: all setup build test test-release test-asan fuzz demo bench install deb qt6 clean setup-windows windows test-windows

all: build

setup:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && $(SUDO) DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

# 32-bit Wine comes from the i386 architecture (about 1.1 GB).
setup-windows: setup
	@dpkg --print-foreign-architectures | grep -qx i386 || $(SUDO) dpkg --add-architecture i386; \
	missing=""; for p in $(WINDOWS_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && $(SUDO) DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

# The cross builds take the build-time generators from a small build for this machine.
windows: setup-windows
	@cmake --preset host-tools >/dev/null && cmake --build --preset host-tools
	@for p in win64 win32; do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p --target kestrum_cli_core kestrum_core_tests || exit 1; \
	done

test-windows:
	tests/windows/run_wine_tests.sh

build: setup
	@cmake --preset release >/dev/null
	@cmake --build --preset release

test-release: build
	ctest --preset release

test-asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --preset asan

fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@for f in build-fuzz/bin/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  name=$$(basename $$f); mkdir -p build-fuzz/corpus/$$name fuzz/corpus/$$name; \
	  echo "== $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
	      -artifact_prefix=build-fuzz/ build-fuzz/corpus/$$name fuzz/corpus/$$name || exit 1; \
	done

test: test-release test-asan fuzz qt6 test-windows
	@echo "All test stages passed."

demo: build
	build/bin/kestrum info $(SAMPLE)
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "Opening the sample map in the viewer (wheel zooms, arrows pan, click shows an address; close the window to end)"; \
	  build/bin/kestrum view $(SAMPLE); \
	else \
	  build/bin/kestrum render $(SAMPLE) -o build/demo.png --size 1280x900 && \
	  echo "No display: the sample map is drawn in build/demo.png"; \
	fi


bench: build
	build/bin/bench_load
	build/bin/bench_viewer
	build/bin/bench_import
	build/bin/bench_render --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# Installs and packages come from their own Release tree, stripped: the everyday build keeps
# its debug information for the tests and benchmarks.
install: setup
	@cmake --preset install -DKESTRUM_ICONS_LIB="$(if $(ICONS_LIB),$(abspath $(ICONS_LIB)))" >/dev/null
	@cmake --build --preset install
	cmake --install build-install --prefix "$(PREFIX)" --strip
	@echo "Now register the plug-in: $(PREFIX)/bin/kestrum install-plugin"

deb: setup
	@cmake --preset install -DKESTRUM_ICONS_LIB= >/dev/null
	@cmake --build --preset install
	cd build-install && cpack -G DEB
	@ls build-install/kestrum_*.deb

# Qt 6 is a compile check of the tool and the plug-in plus one drawing by the Qt 6 tool; the
# tests run in the Qt 5 stages (`make qt6 QT6_TARGETS=all` compiles them too).
QT6_TARGETS ?= kestrum kestrum_wlx
qt6: setup
	@cmake --preset qt6 >/dev/null
	@cmake --build --preset qt6 --target $(QT6_TARGETS)
	build-qt6/bin/kestrum render $(SAMPLE) -o build-qt6/sample.png --size 320x240
	build-qt6/bin/kestrum info $(SAMPLE) >/dev/null

clean:
	rm -rf build build-asan build-fuzz build-install build-qt6 build-host build-win64 build-win32 build-wine
