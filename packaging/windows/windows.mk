# The Windows build, made here with MinGW-w64, run under Wine and shipped with NSIS; included
# by the Makefile. The toolchain (Qt and OpenSSL for Windows) is built by toolchain.sh into
# FERNWICK_TOOLCHAIN_DIR (/opt/fernwick-windows-toolchain unless set), once per recipe.
WINDOWS_ARCH ?= i686
WINDOWS_ARCHS ?= i686 x86_64
WINDOWS_DIR := packaging/windows
WINDOWS_TOOLCHAIN_SH := $(WINDOWS_DIR)/toolchain.sh
WINDOWS_BUILD = build-windows-$(WINDOWS_ARCH)
# The folder that holds fernwick.exe and everything it needs: what the installer ships.
WINDOWS_RUN_DIR = $(WINDOWS_BUILD)/fernwick
WINDOWS_PREFIX = $(WINDOWS_BUILD)/wineprefix
FERNWICK_VERSION := ${shell sed -n 's/^project(fernwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt}
# The stand-in driver for 32-bit Wine, which reaches the machine's 32-bit unixODBC.
DRIVER_I386_DIR ?= build-driver-i386

WINDOWS_BUILD_DEPS := g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix tcl perl python3 make xz-utils patch
WINDOWS_TEST_DEPS := wine wine64 xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core fonts-wqy-microhei \
  osslsigncode
WINDOWS_I386_DEPS := wine32:i386 g++-i686-linux-gnu unixodbc-dev:i386 libsqlite3-dev:i386 libicu-dev:i386 \
  nettle-dev:i386 mdbtools-dev:i386
PACKAGE_WINDOWS_DEPS := nsis osslsigncode
# `make package-windows SIGN_PKCS12=<certificate and key> SIGN_PASSWORD_FILE=<its password>`
# signs fernwick.exe, the uninstaller and the installer.
SIGN_PKCS12 ?=
SIGN_PASSWORD_FILE ?=
WINDOWS_SIGN = $(abspath $(WINDOWS_DIR)/sign.sh) "$(abspath $(SIGN_PKCS12))" "$(abspath $(SIGN_PASSWORD_FILE))"

.PHONY: windows-toolchain windows windows-i386 test-windows bench-windows package-windows

windows-toolchain:
	$(call install-missing,$(WINDOWS_BUILD_DEPS))
	@for arch in $(WINDOWS_ARCHS); do $(WINDOWS_TOOLCHAIN_SH) ensure $$arch || exit 1; done

windows:
	$(call install-missing,$(WINDOWS_BUILD_DEPS))
	@$(WINDOWS_TOOLCHAIN_SH) ensure $(WINDOWS_ARCH)
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror \
	  -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_DIR)/mingw-w64.cmake -DWINDOWS_ARCH=$(WINDOWS_ARCH) \
	  -DCMAKE_PREFIX_PATH=$$($(WINDOWS_TOOLCHAIN_SH) prefix $(WINDOWS_ARCH))/qt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target fernwick
	$(WINDOWS_DIR)/deploy.sh $(WINDOWS_ARCH) $(WINDOWS_BUILD)/fernwick.exe \
	  $$($(WINDOWS_TOOLCHAIN_SH) prefix $(WINDOWS_ARCH)) $(WINDOWS_RUN_DIR)

# 32-bit Wine and the i386 libraries need the machine to take i386 packages, at the versions
# of the amd64 libraries they share; the tests' amd64 packages come in the same install, so
# that none of them asks for a newer amd64 library than its i386 twin.
windows-i386:
	@$(WINDOWS_DIR)/install-i386.sh $(WINDOWS_I386_DEPS) $(WINDOWS_TEST_DEPS)
	cmake -S . -B $(DRIVER_I386_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DFERNWICK_DRIVER_ONLY=ON \
	  -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_DIR)/linux-i386.cmake
	cmake --build $(DRIVER_I386_DIR) -j $(JOBS) --target fernwick_access_odbc

# The Windows build under Wine, headless, against the Linux build: the environments test
# compares their bytes, tst_windows runs what only Windows does. i686 runs under 32-bit Wine
# with the i386 driver, x86_64 under 64-bit Wine with the Linux build's.
WINDOWS_ODBCSYSINI = $(if $(filter i686,$(WINDOWS_ARCH)),$(abspath $(DRIVER_I386_DIR))/odbc,$(abspath $(BUILD_DIR))/odbc)
# The installer carries the 32-bit build, so its test runs with that build's.
WINDOWS_SETUP = $(if $(filter i686,$(WINDOWS_ARCH)),$(abspath build-windows-i686)/fernwick-setup-$(FERNWICK_VERSION).exe)
test-windows: windows build test-locale $(if $(filter i686,$(WINDOWS_ARCH)),windows-i386 package-windows)
	$(call install-missing,$(WINDOWS_TEST_DEPS))
	$(WINDOWS_ARCH)-w64-mingw32-gcc-posix -municode -Wall -Wextra -Werror -o $(WINDOWS_BUILD)/holdopen.exe \
	  tests/windows/holdopen.c
	$(WINDOWS_ARCH)-w64-mingw32-gcc-posix -municode -Wall -Wextra -Werror -o $(WINDOWS_BUILD)/manifest.exe \
	  tests/windows/manifest.c
	wine=$$($(WINDOWS_DIR)/wineprefix.sh $(WINDOWS_ARCH) $(WINDOWS_PREFIX)) && \
	cmake -S . -B $(BUILD_DIR) -DFERNWICK_WINDOWS_EXE=$(abspath $(WINDOWS_RUN_DIR))/fernwick.exe \
	  -DFERNWICK_WINE="$$wine" \
	  -DFERNWICK_WINEPREFIX=$(abspath $(WINDOWS_PREFIX)) -DFERNWICK_WINDOWS_ODBCSYSINI=$(WINDOWS_ODBCSYSINI) \
	  -DFERNWICK_WINDOWS_SETUP=$(WINDOWS_SETUP)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tst_environments tst_windows
	cd $(BUILD_DIR) && ctest --output-on-failure -R 'windows$$'

# A sync of BENCH_ROWS rows per kind by the Windows build under Wine and by the Linux build,
# side by side: `make bench-windows` (WINDOWS_ARCH=x86_64 for the 64-bit build).
BENCH_ROWS ?= 20000
BENCH_ROUNDS ?= 5
bench-windows: windows build $(if $(filter i686,$(WINDOWS_ARCH)),windows-i386)
	$(call install-missing,$(WINDOWS_TEST_DEPS))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target bench_windows_sync
	wine=$$($(WINDOWS_DIR)/wineprefix.sh $(WINDOWS_ARCH) $(WINDOWS_PREFIX)) && \
	FERNWICK_WINDOWS_EXE=$(abspath $(WINDOWS_RUN_DIR))/fernwick.exe FERNWICK_WINDOWS_ODBCSYSINI=$(WINDOWS_ODBCSYSINI) \
	  FERNWICK_WINE="$$wine" \
	  WINEPREFIX=$(abspath $(WINDOWS_PREFIX)) $(BUILD_DIR)/bench/bench_windows_sync $(BENCH_ROWS) $(BENCH_ROUNDS)

# build-windows-i686/fernwick-setup-<version>.exe: the 32-bit build, which every Windows's
# Access driver fits.
package-windows:
	$(MAKE) windows WINDOWS_ARCH=i686
	$(call install-missing,$(PACKAGE_WINDOWS_DEPS))
	$(WINDOWS_SIGN) build-windows-i686/fernwick/fernwick.exe
	sed 's/\r*$$/\r/' $(WINDOWS_DIR)/sys.ini > build-windows-i686/sys.ini
	makensis -V2 -WX -DVERSION=$(FERNWICK_VERSION) \
	  -DTOP=$(abspath .) -DSOURCE=$(abspath build-windows-i686/fernwick) -DOUTPUT=$(abspath build-windows-i686) \
	  -DSYSINI=$(abspath build-windows-i686/sys.ini) $(if $(SIGN_PKCS12),'-DSIGN=$(WINDOWS_SIGN)') \
	  $(WINDOWS_DIR)/fernwick.nsi
	$(WINDOWS_SIGN) build-windows-i686/fernwick-setup-$(FERNWICK_VERSION).exe
