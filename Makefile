# make run   installs the dependencies, builds, and opens the window on a sample file.
# make test  installs the dependencies, builds, and runs every test.
# make bench-cold  times the real executable started fresh, beside rg (bench/README.md).
.PHONY: deps build run test asan-test bench bench-cold clean

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

# The fresh-process figures of bench/README.md: the real executable on both corpora, beside rg,
# under Xvfb when it is installed (offscreen only otherwise). RUNS=N for more runs.
RUNS ?= 5
bench-cold: bench
	@run() { if command -v xvfb-run >/dev/null; then \
		xvfb-run -a -s "-screen 0 1280x1024x24" build/release/bench/bench_cold --runs $(RUNS) "$$@"; \
	else build/release/bench/bench_cold --runs $(RUNS) "$$@"; fi; }; \
	run && run --distinct

clean:
	rm -rf build
