# tovex: `make` installs what is missing, builds the launcher stubs (32-bit
# and 64-bit), the build tool, the example application and the Java runtime library; `make test` runs every test.

JOBS ?= 2
WIN_BUILD := build/win
WIN64_BUILD := build/win64
BUILDER_BUILD := build/builder

.PHONY: all setup launcher builder example java maven test unit e2e bench clean fuzz fuzz-build

all: setup launcher builder java example maven

setup:
	@scripts/setup

# The same sources twice: build/win for 32-bit Windows (dist/launcher.exe),
# build/win64 for x86-64 (dist/launcher64.exe), each with its unit tests and
# stand-ins.
launcher: setup
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
	cmake --build $(WIN64_BUILD) -j $(JOBS)
	@mkdir -p dist
	cp $(WIN_BUILD)/src/windows/launcher.exe dist/launcher.exe
	cp $(WIN64_BUILD)/src/windows/launcher.exe dist/launcher64.exe

builder: setup
	cmake -S builder -B $(BUILDER_BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILDER_BUILD) -j $(JOBS)
	@mkdir -p dist
	cp $(BUILDER_BUILD)/tovex dist/tovex

# The example application dist/examples/hello.exe, with its Java side.
example: launcher builder java
	scripts/build-example

# tovex-maven-plugin into build/m2, and the example Maven project
# examples/hello-maven into dist/examples/hello-maven.exe, offline.
maven: launcher builder java
	maven/build

# The Java runtime library dist/tovexlib.jar (javac --release 8).
java: setup
	scripts/build-java

# Every test: the launcher's unit tests under Wine, the build tool's tests and
# the end-to-end tests, all under one virtual X display.
TEST_DISPLAY := xvfb-run -a -s "-screen 0 1024x768x24"

test: all fuzz-build
	$(TEST_DISPLAY) scripts/run-tests

# Parts of `make test`: the launcher's unit tests (32-bit and 64-bit) under
# Wine, and the end-to-end tests (pytest, tests/e2e).
unit: launcher
	$(TEST_DISPLAY) scripts/run-tests unit

e2e: launcher builder java example
	$(TEST_DISPLAY) scripts/run-tests e2e

# Benchmarks of both launchers, each against baselines measured in the same
# run, ending in one table (what, x86, x64, goal, met); ROUNDS sets the
# timed starts of each kind.
ROUNDS ?= 31

bench: launcher builder java
	ROUNDS=$(ROUNDS) /usr/bin/python3 bench/run_bench.py

# Fuzz targets (libFuzzer, ASan, UBSan; native clang) in build/fuzz. `make fuzz`
# runs each for FUZZ_SECONDS on a copy of its corpus; findings land in
# build/fuzz/findings. `make test` replays fuzz/corpus once.
FUZZ_SECONDS ?= 60
FUZZ_BUILD := build/fuzz

fuzz-build: setup
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz run

clean:
	rm -rf build dist
