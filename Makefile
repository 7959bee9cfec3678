# Short commands over CMake presets. See README.md.
#   make demo    build, make build/demo/setup.exe and setup32.exe from
#                examples/demo, run setup.exe under Wine and show what it did
#                (ARGS=auto=1 passes arguments to it)
#   make test    install what is missing, build native, win32 and win64, run
#                every test suite and print "N passed, N failed" (", N
#                skipped" where the machine runs no 32-bit x86 code and the
#                win32 suites cannot run; VEL_REQUIRE_WIN32=1 fails there)
#   make build   the same builds without the tests
#   make velpack the optimised velpack for makers (build/release/velpack;
#                the one in build/native carries the tests' sanitizers)
#   make bench   the codec benchmark (optimised build in build/release) over
#                the corpus in build/corpus, made first when missing, then
#                velpack against Info-ZIP on it (bench/makers-view.sh), the
#                stub's libzstd against the host's (bench/zstd-builds.sh), and
#                the Windows builds' decoding and our setups against NSIS's
#                under Wine (bench/users-view.sh; installs Debian's nsis)
#   make package the Debian package of velpack (build/release/velpack_*.deb:
#                velpack, the product stub, the man page) and the zip for
#                Windows (build/release/velpack-*-windows-x64.zip: velpack.exe,
#                the product stub, README.txt, COMMANDS.txt)
#   make fuzz    the libFuzzer targets (build/fuzz) for FUZZ_SECONDS each:
#                all of them, or those named in FUZZ_TARGETS

PRESETS := native win32 win64

.PHONY: all deps build test demo clean bench fuzz velpack package

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@scripts/build.sh $(PRESETS)

test: build
	@scripts/run-tests.sh native win32 win64

# velpack finds the stub of the win32 build beside its own build folder.
velpack: deps
	@scripts/build.sh win32 release
	@echo "velpack: build/release/velpack"

# CPack over the release build, with the win32 build's stub; the zip from
# the release build too, with the win64 build's velpack.exe.
package: deps
	@scripts/build.sh win32 release
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64 --target velpack
	@cd build/release && cpack -G DEB
	@cmake --build build/release --target velpack_windows_zip

ARGS ?=
demo: deps
	@scripts/demo.sh $(ARGS)

clean:
	rm -rf build

# The benchmark corpus is made from Debian packages (scripts/make-corpus.sh);
# BENCH_DIR, VEL_CORPUS and FUZZ_DIR may point elsewhere.
BENCH_DIR ?= build/release
VEL_CORPUS ?= build/corpus
FUZZ_DIR ?= build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

# The Windows builds' benchmark programs and stubs, for zstd-builds.sh and
# users-view.sh.
BENCH_WINDOWS_TARGETS := decode_bench zstd_bench velstub quiet_install

bench: deps
	@scripts/install-deps.sh bench
	@cmake --preset release -B $(BENCH_DIR) >/dev/null
	@cmake --build $(BENCH_DIR) --target codec_bench zstd_bench velpack
	@for preset in win64 win32; do cmake --preset $$preset >/dev/null && \
		cmake --build --preset $$preset --target $(BENCH_WINDOWS_TARGETS) || exit 1; done
	@[ -d $(VEL_CORPUS) ] || { rm -rf $(VEL_CORPUS).part && scripts/make-corpus.sh $(VEL_CORPUS).part \
		&& mv $(VEL_CORPUS).part $(VEL_CORPUS); }
	@$(BENCH_DIR)/bench/codec_bench --corpus=$(VEL_CORPUS)
	@$(BENCH_DIR)/bench/codec_bench --corpus=$(VEL_CORPUS) --brute-force | tail -n 1
	@bench/makers-view.sh $(BENCH_DIR)/velpack $(VEL_CORPUS) $(BENCH_DIR)/makers-view
	@bench/zstd-builds.sh $(BENCH_DIR)/bench/zstd_bench $(BENCH_DIR)/makers-view/z.bin \
		$(BENCH_DIR)/zstd-builds
	@bench/users-view.sh $(BENCH_DIR)/velpack $(BENCH_DIR)/makers-view $(BENCH_DIR)/users-view

fuzz: deps
	@cmake --preset fuzz -B $(FUZZ_DIR) >/dev/null
	@cmake --build $(FUZZ_DIR) --target vel_fuzzers
	@fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)
