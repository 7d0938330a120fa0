# make run   installs the dependencies, builds, and opens the window on a sample file.
# make test  installs the dependencies, builds, and runs every test.
.PHONY: deps build run test asan-test bench clean

SAMPLE ?= examples/contacts.txt

deps:
	scripts/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "No display here. To open the window on a virtual display, run:"; \
		echo "  xvfb-run -a build/dev/extracteur $(SAMPLE)"; \
		exit 1; \
	fi
	build/dev/extracteur $(SAMPLE)

test: build
	ctest --preset dev

asan-test: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

bench: deps
	cmake --preset release
	cmake --build --preset release
	@echo "Benchmarks built in build/release/bench; see bench/README.md"

clean:
	rm -rf build
