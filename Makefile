# Brindle Tool — the two commands that matter: `make demo` and `make test`.
# Both install what they need first (Debian packages, only when missing).

SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
DEBIAN_PACKAGES := g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev \
  zlib1g-dev googletest libgtest-dev wine wine64 xvfb xauth cmake clang libclang-rt-14-dev \
  imagemagick x11-apps python3 locales cppcheck clang-format chromium ansible \
  slapd ldap-utils libssl-dev openssl qemu-user g++-multilib lib32z1-dev

.PHONY: all deps build test demo lint fuzz bench clean

all: build

deps:
	@tools/install-deps $(DEBIAN_PACKAGES)

# Artifacts land in dist/ at fixed paths; the README and the demo rely on them.
build: deps
	cmake --preset native >/dev/null && cmake --build build/native -j$(JOBS)
	cmake --preset win32 >/dev/null && cmake --build build/win32 -j$(JOBS)
	cmake --preset win64 >/dev/null && cmake --build build/win64 -j$(JOBS)
	@mkdir -p dist/win64
	cp build/win32/brindle.exe dist/brindle.exe
	cp build/win64/brindle.exe dist/win64/brindle.exe
	cp build/native/tools/tovkit/tovkit dist/tovkit
	cp build/win64/tools/tovkit/tovkit.exe dist/tovkit.exe
	@if [ -f examples/brindle.LOC ]; then cp examples/brindle.LOC dist/brindle.LOC; fi
	@echo "build: artifacts in dist/"

test: build
	cmake --preset asan >/dev/null && cmake --build build/asan -j$(JOBS)
	cmake --preset native32 >/dev/null && cmake --build build/native32 -j$(JOBS)
	@tests/harness/run-tests

demo: build
	@tools/demo

lint: deps
	cmake --preset native >/dev/null
	@tools/lint

fuzz: deps
	@fuzz/run.sh $(FUZZ_SECONDS)

# Benchmarks, never part of test: packing against tar -czf natively, a whole
# run under Wine against xcopy + tar -czf.
bench: build
	cmake -S . -B build/pack-native -DCMAKE_BUILD_TYPE=Release -DBRINDLE_TESTS=OFF >/dev/null
	bench/pack_bench.sh build/pack-native
	cmake --build build/pack-native --target scrub_bench -j$(JOBS) >/dev/null && build/pack-native/bench/scrub_bench
	bench/run_bench.sh

clean:
	rm -rf build dist
