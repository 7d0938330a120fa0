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

clean:
	rm -rf build
