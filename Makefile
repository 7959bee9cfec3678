# Short commands over CMake presets. See README.md.
#   make test    install what is missing, build native, win32 and win64, run
#                every test suite and print "N passed, N failed"
#   make build   the same builds without the tests

PRESETS := native win32 win64

.PHONY: all deps build test clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@scripts/build.sh $(PRESETS)

test: build
	@scripts/run-tests.sh native win64

clean:
	rm -rf build
