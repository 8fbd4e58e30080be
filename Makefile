# make          builds everything into dist/
# make test     runs every test: native (with sanitizers), fuzz smoke, and Wine end to end
# make demo     runs the hotfix on the sample product in a Wine prefix and tells the story
# Each target installs what it needs from Debian's packages first (scripts/setup.sh).

JOBS    ?= $(shell nproc)
BUILD   ?= build
PRODUCT ?= Tarnovex
INSTALLER := HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup.exe

.PHONY: all setup native asan windows dist test unit-test fuzz-test wine-test demo bench clean

all: dist

setup:
	@scripts/setup.sh

native: setup
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Release -DHOTFIX_UNIT_TESTS=OFF >/dev/null
	cmake --build $(BUILD)/native -j $(JOBS)

asan: setup
	cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=Debug -DHOTFIX_SANITIZE=ON >/dev/null
	cmake --build $(BUILD)/asan -j $(JOBS)

windows: native
	cmake -S . -B $(BUILD)/win -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DHOTFIX_NATIVE_BIN=$(CURDIR)/$(BUILD)/native/bin >/dev/null
	cmake --build $(BUILD)/win -j $(JOBS)

# make dist SIGN_PFX=cert.pfx SIGN_PASS=...  also signs (Authenticode) the engine pair before the
# installer embeds it, and the installer (scripts/sign.sh); the password reaches the signing
# tool through the environment and its standard input only.
export SIGN_PFX SIGN_PASS
dist: windows
	@if [ -n "$(SIGN_PFX)" ]; then scripts/sign.sh --build $(BUILD); fi
	@scripts/make-dist.sh $(BUILD) dist

test: dist asan
	@scripts/run-tests.sh $(BUILD)

demo: dist
	@scripts/demo.sh $(BUILD) $(PRODUCT)

bench: dist
	@scripts/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD) dist
