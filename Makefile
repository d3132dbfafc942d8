# Brindle Tool — the two commands that matter: `make demo` and `make test`.
# Both install what they need first (Debian packages, only when missing).

SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
DEBIAN_PACKAGES := g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev \
  zlib1g-dev googletest libgtest-dev wine wine64 xvfb xauth cmake clang libclang-rt-14-dev \
  imagemagick x11-apps python3 locales cppcheck clang-format chromium ansible \
  slapd ldap-utils libssl-dev openssl qemu-user g++-multilib lib32z1-dev python3-evtx libevtx-utils \
  help2man

.PHONY: all help deps build test demo install lint fuzz bench clean

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

# Builds only what it runs (native tovkit, 64-bit brindle.exe), quietly.
demo: deps
	@tools/demo

# tovkit, its man page and its bash completion under PREFIX.
PREFIX ?= /usr/local
install: deps
	@tools/install-kit "$(PREFIX)"

help:
	@echo "make demo      build what it needs, run brindle.exe on the example scripts under Wine,"
	@echo "               write the report page of its result (build/demo/); DEMO_WINDOW=1 saves"
	@echo "               a screenshot of the dialog"
	@echo "make test      build everything and run every test layer (CI runs this)"
	@echo "make build     all artifacts in dist/ (32- and 64-bit brindle.exe, tovkit, tovkit.exe)"
	@echo "make install   tovkit, its man page and bash completion under PREFIX (now $(PREFIX))"
	@echo "make deps      install the missing Debian packages (root)"
	@echo "make lint      clang-format and cppcheck"
	@echo "make fuzz      libFuzzer targets, FUZZ_SECONDS each (now $(FUZZ_SECONDS))"
	@echo "make bench     packing and whole-run benchmarks"
	@echo "make clean     remove build/ and dist/"

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
	cmake --build build/pack-native --target tovkit -j$(JOBS) >/dev/null
	bench/report_bench.sh build/pack-native/tools/tovkit/tovkit
	cmake --build build/pack-native --target scrub_bench -j$(JOBS) >/dev/null && build/pack-native/bench/scrub_bench
	bench/run_bench.sh

clean:
	rm -rf build dist
