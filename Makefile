# make run   installs the dependencies, builds, and opens the window on a sample file.
# make test  installs the dependencies, builds, and runs every test.
# make fuzz  builds the libFuzzer targets with clang, runs each for FUZZ_SECONDS (60), then the
#            crash test with FUZZ_KILLS kills (500).
# make bench-cold  times the real executable started fresh, beside rg (bench/README.md).
.PHONY: deps build run test asan-test bench bench-cold clean fuzz

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

# make deb  the Debian package from the optimised build: build/release/extracteur_<version>_<arch>.deb
# make deb-test  builds it, checks it with lintian, unpacks it and runs what it holds.
.PHONY: deb deb-test
deb: deps
	cmake --preset release
	cmake --build --preset release --target extracteur_installables
	cd build/release && cpack -G DEB

deb-test: deb
	tests/package/tst_package.sh build/release/extracteur_*.deb

# make install [PREFIX=~/.local] [DESTDIR=...]   installs the optimised build for this user.
# make uninstall [PREFIX=...] [DESTDIR=...] [PURGE=1]   removes it; PURGE=1 also drops the
#            settings file the program wrote beside itself.
.PHONY: install uninstall
PREFIX ?= $(HOME)/.local
# The prefix made absolute by the shell, so that a path with blanks survives.
absolute_prefix = case "$(PREFIX)" in /*) prefix="$(PREFIX)" ;; *) prefix="$$PWD/$(PREFIX)" ;; esac

install: deps
	cmake --preset release
	cmake --build --preset release --target extracteur_installables
	@$(absolute_prefix); set -x; \
		DESTDIR="$(DESTDIR)" cmake --install build/release --prefix "$$prefix"

uninstall:
	@$(absolute_prefix); set -x; \
		DESTDIR="$(DESTDIR)" cmake -DPREFIX="$$prefix" -DPURGE="$(PURGE)" -P cmake/uninstall.cmake

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

FUZZ_SECONDS ?= 60
FUZZ_KILLS ?= 500
fuzz: build
	CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DEXTRACTEUR_BUILD_FUZZ=ON -DEXTRACTEUR_BUILD_TESTS=OFF -DEXTRACTEUR_BUILD_BENCH=OFF \
		-DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
	cmake --build build/fuzz --target fuzz_splitter fuzz_decode fuzz_save fuzz_settings fuzz_sort \
		fuzz_address fuzz_containers fuzz_decoders
	fuzz/run $(FUZZ_SECONDS)
	if [ $(FUZZ_KILLS) -gt 0 ]; then EXTRACTEUR_CRASH_KILLS=$(FUZZ_KILLS) build/dev/tests/tst_crash_safety; fi
