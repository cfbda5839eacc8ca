# Entry points for people and CI. Every target installs what is missing first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run demo clean sanitize-test tsan-test fuzz bench

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ]; then \
		echo "make run: no desktop display here (DISPLAY and WAYLAND_DISPLAY are unset)."; \
		echo "Start it from a desktop session, or try: QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/bin/ravelkin"; \
		exit 1; \
	fi
	@$(BUILD_DIR)/bin/ravelkin

# Downloads the bundled sample novel from a site on 127.0.0.1.
demo: build
	@scripts/demo

# The sanitizer builds leave out the window: they also prove that no core folder reaches for Qt.
# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize-test:
	@$(MAKE) --no-print-directory test BUILD_DIR=build-asan BUILD_TYPE=Debug \
		CMAKE_FLAGS="-DRAVELKIN_SANITIZE=address -DRAVELKIN_BUILD_APP=OFF"

# The whole suite under ThreadSanitizer: the fetches, file numbers and workers run concurrently.
tsan-test:
	@TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp $(TSAN_OPTIONS)" \
		$(MAKE) --no-print-directory test BUILD_DIR=build-tsan BUILD_TYPE=Debug \
		CMAKE_FLAGS="-DRAVELKIN_SANITIZE=thread -DRAVELKIN_BUILD_APP=OFF"

# Micro and end-to-end benchmarks; not part of make test.
bench: deps
	@scripts/bench

# The libFuzzer targets, FUZZ_SECONDS (default 60) each, under ASan and UBSan.
fuzz: deps
	@scripts/fuzz

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench
