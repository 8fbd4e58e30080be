# make          builds everything into dist/
# make test     runs every test: native (with sanitizers), fuzz smoke, and Wine end to end
# make demo     runs the hotfix on the sample product in a Wine prefix and tells the story
# Each target installs what it needs from Debian's packages first (scripts/setup.sh).
#
# make HOTFIX=path/to/definition.json   builds another hotfix (default hotfix/hotfix2.json);
#   RELEASES=folder makes its patch files from release trees under that folder.

JOBS     ?= $(shell nproc)
BUILD    ?= build
PRODUCT  ?= Tarnovex
HOTFIX   ?=
RELEASES ?=
DEFINITION := -DHOTFIX_DEFINITION=$(if $(HOTFIX),$(abspath $(HOTFIX))) \
              -DHOTFIX_RELEASES=$(if $(RELEASES),$(abspath $(RELEASES)))

.PHONY: all setup native asan windows dist test unit-test fuzz-test wine-test demo bench clean

all: dist

setup:
	@scripts/setup.sh

native: setup
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Release -DHOTFIX_UNIT_TESTS=OFF $(DEFINITION) >/dev/null
	cmake --build $(BUILD)/native -j $(JOBS)

asan: setup
	cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=Debug -DHOTFIX_SANITIZE=ON $(DEFINITION) >/dev/null
	cmake --build $(BUILD)/asan -j $(JOBS)

windows: native
	cmake -S . -B $(BUILD)/win -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DHOTFIX_NATIVE_BIN=$(CURDIR)/$(BUILD)/native/bin $(DEFINITION) >/dev/null
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
