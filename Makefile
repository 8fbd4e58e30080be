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

.PHONY: all setup native asan windows dist test demo bench clean

all: dist

setup:
	@scripts/setup.sh

native: configure-native
	cmake --build $(BUILD)/native -j $(JOBS)

configure-native: setup
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Release -DHOTFIX_UNIT_TESTS=OFF $(DEFINITION) >/dev/null

asan: setup
	cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=Debug -DHOTFIX_SANITIZE=ON $(DEFINITION) >/dev/null
	cmake --build $(BUILD)/asan -j $(JOBS)

# Every Windows program is built for x86 (32-bit, $(BUILD)/win) and for x64 (64-bit,
# $(BUILD)/win64) from the same sources. The x64 build's tests also check the x86 files that
# can be checked without running them, so they run where Wine starts no 32-bit program.
WIN_x86       := $(BUILD)/win
WIN_x64       := $(BUILD)/win64
TOOLCHAIN_x86 := mingw-i686
TOOLCHAIN_x64 := mingw-x86_64
CONFIGURE_x64 := -DHOTFIX_X86_BUILD=$(CURDIR)/$(WIN_x86)

.PHONY: configure-native configure-x86 configure-x64 windows-x86 windows-x64 demo-build-x86 demo-build-x64
# A Windows build is configured with the native patch builder (it makes the patch files) and
# the native bench_apply (it makes the Wine tests' delta fixture) built.
configure-x86 configure-x64: configure-%: configure-native
	cmake --build $(BUILD)/native -j $(JOBS) --target hotfix-pack bench_apply
	cmake -S . -B $(WIN_$*) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/$(TOOLCHAIN_$*).cmake \
	  -DHOTFIX_NATIVE_BIN=$(CURDIR)/$(BUILD)/native/bin $(CONFIGURE_$*) $(DEFINITION) >/dev/null

windows-x86 windows-x64: windows-%: native configure-%
	cmake --build $(WIN_$*) -j $(JOBS)

windows: windows-x86 windows-x64

# make dist SIGN_PFX=cert.pfx SIGN_PASS=...  also signs (Authenticode) the engine pair before the
# installer embeds it, and the installer (scripts/sign.sh); the password reaches the signing
# tool through the environment and its standard input only.
export SIGN_PFX SIGN_PASS
dist: windows
	@if [ -n "$(SIGN_PFX)" ]; then scripts/sign.sh --build $(BUILD); fi
	@scripts/make-dist.sh $(BUILD) dist

test: dist asan
	@scripts/run-tests.sh $(BUILD)

# The demo runs the installer of the architecture Wine can start here, x86 where it runs 32-bit
# programs, else x64, and builds only what it needs: the installer (with its engine and patch
# files), the sample product and the UI driver that answers the message box.
demo: setup
	@arch=$$(scripts/wine-starts.sh x86 2>/dev/null && echo x86 || echo x64); \
	  $(MAKE) --no-print-directory demo-build-$$arch && scripts/demo.sh $(BUILD) $$arch $(PRODUCT)

demo-build-x86 demo-build-x64: demo-build-%: configure-%
	cmake --build $(WIN_$*) -j $(JOBS) --target hotfix_installer hotfix_uidriver

bench: dist
	@scripts/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD) dist
