# Kavlin installer: `make` builds, `make run` starts the installer under Wine, `make test`
# runs every test suite. Each target first installs what a fresh Debian 12 machine lacks.
.PHONY: all bootstrap native win32 run test screenshots bench bench-install fuzz clean

all: native win32

bootstrap:
	@tools/bootstrap.sh

build/native/build.ninja: | bootstrap
	cmake --preset native >/dev/null

build/win32/build.ninja: | bootstrap
	cmake --preset win32 >/dev/null

native: bootstrap build/native/build.ninja
	cmake --build --preset native

win32: bootstrap build/win32/build.ninja
	cmake --build --preset win32

run: win32
	tools/run-installer

test: native win32
	tools/run-tests

# Runs the end-to-end tests and keeps their screenshots in docs/screenshots (make test does not).
screenshots: win32
	KAVLIN_DOCS_SCREENSHOTS=1 tools/with-wine ctest --preset win32 -L e2e

bench: native
	build/native/bench/kavlin-bench

bench-install: win32
	bench/install/run-bench-install

fuzz: native
	mkdir -p build/native/fuzz/corpus build/native/fuzz/corpus-archive
	build/native/fuzz/kavlin-fuzz-inflate -max_total_time=$${FUZZ_SECONDS:-1800} build/native/fuzz/corpus fuzz/corpus
	build/native/fuzz/kavlin-fuzz-archive -max_total_time=$${FUZZ_SECONDS:-1800} build/native/fuzz/corpus-archive fuzz/corpus-archive

clean:
	rm -rf build
