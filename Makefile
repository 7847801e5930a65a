# Thin wrapper over CMake. `make demo` and `make test` set up a fresh Debian 12 machine.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Most tests spend their time waiting on their servers and on the program they run, not
# computing, so twice as many run at once as there are cores.
TEST_JOBS ?= $(shell echo $$(( $(JOBS) * 2 )))

# Debian packages the build, the tests and the demo need (openssl: the tests make their
# certificates with it; curl: the answers the posts read are held to how curl reads them).
DEPS := cmake make g++ pkg-config \
        qtbase5-dev libqt5sql5-sqlite libqt5sql5-odbc \
        unixodbc unixodbc-dev odbcinst \
        zlib1g-dev libsqlite3-dev sqlite3 libcpp-httplib-dev nettle-dev libicu-dev python3-pyodbc \
        mdbtools mdbtools-dev dpkg-dev \
        xvfb xauth x11-utils fonts-wqy-microhei \
        locales tzdata openssl curl

# Only for `make fuzz`: the libFuzzer targets of the driver and of the answer reader.
FUZZ_DEPS := clang-14 libfuzzer-14-dev
FUZZ_DIR ?= build-fuzz
# Only for `make tsan`: the driver and its multi-threaded test under ThreadSanitizer.
TSAN_DIR ?= build-tsan

SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

# The tool built alone, as on Windows: snapshot rows through QSqlQuery.
APPONLY_DIR ?= build-apponly

.PHONY: all deps configure build test test-locale test-apponly demo package fuzz tsan install uninstall clean

all: build

# Installs those of the packages in $(1) that are missing. A list that cannot be fetched
# (a mirror in the middle of a sync) leaves the others, which the install may still do with.
define install-missing
	@missing=$$(for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:" $$missing; \
	  $(SUDO) apt-get update -qq || \
	    echo "apt-get update failed for some lists (a mirror mid-sync?); installing from those it has"; \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install-missing,$(DEPS))

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The suite also syncs under a German locale (a decimal comma) and zones with summer time.
TEST_LOCALE := de_DE.UTF-8

test: build test-locale
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(TEST_JOBS) -E '_apponly$$|windows$$'

test-locale: deps
	@locale -a 2>/dev/null | grep -qix 'de_DE.utf8' || $(SUDO) localedef -i de_DE -f UTF-8 $(TEST_LOCALE)

# What demo/run-demo.sh runs, and nothing more: the tests and benchmarks are for `make test`.
DEMO_TARGETS := fernwick fernwick_access_odbc fernwick-receiver demo_database

demo: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(DEMO_TARGETS)
	demo/run-demo.sh $(BUILD_DIR)

# The configuration the README prescribes for Windows (the tool alone, snapshot rows through
# QSqlQuery), built here and run by the main build's end-to-end test, so that it cannot rot
# unseen: every environment's sync must give the same bodies, row lines and snapshot tables.
test-apponly: build test-locale
	cmake -S . -B $(APPONLY_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	  -DFERNWICK_APP_ONLY=ON -DFERNWICK_SNAPSHOT_MAY_USE_SQLITE_HANDLE=OFF
	cmake --build $(APPONLY_DIR) -j $(JOBS) --target fernwick
	cmake -S . -B $(BUILD_DIR) -DFERNWICK_APPONLY_EXE=$(abspath $(APPONLY_DIR))/fernwick
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tst_environments
	cd $(BUILD_DIR) && ctest --output-on-failure -R '^tst_environments_apponly$$'

fuzz: deps
	$(call install-missing,$(FUZZ_DEPS))
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERNWICK_FUZZ=ON
	cmake --build $(FUZZ_DIR) --target fuzz_jet_loader fuzz_access_sql fuzz_http_answer -j $(JOBS)

tsan: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERNWICK_TSAN=ON
	cmake --build $(TSAN_DIR) --target fernwick_access_odbc tst_odbc_threads -j $(JOBS)
	cd $(TSAN_DIR) && ctest -R '^tst_odbc_threads$$' --output-on-failure

# build/fernwick_<version>_<arch>.deb; install it with `apt install ./build/fernwick_*.deb`.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# cpack (`make package`, and the package test of `make test`) installs into its staging
# folder through the same build, which rewrites install_manifest.txt with the package's
# paths; what `make install` put in place is kept under a name of its own.
INSTALL_MANIFEST := $(BUILD_DIR)/fernwick-install-manifest.txt

# PREFIX overrides the configured prefix (/usr/local unless CMAKE_INSTALL_PREFIX was given).
install: build
	$(SUDO) cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))
	cp $(BUILD_DIR)/install_manifest.txt $(INSTALL_MANIFEST)

# Removes what `make install` put in place and the driver's registration, under the names
# the build registered. A file that a Debian package owns (the fernwick package installed
# over the same prefix) is never removed: dpkg would no longer know what it installed.
uninstall:
	@test -f $(INSTALL_MANIFEST) || { echo "nothing was installed from $(BUILD_DIR)"; exit 1; }
	@owned=$$(while IFS= read -r file || [ -n "$$file" ]; do dpkg -S "$$file" >/dev/null 2>&1 && echo "$$file"; done < $(INSTALL_MANIFEST)); \
	if [ -n "$$owned" ]; then \
	  echo "make uninstall: these files belong to an installed Debian package; remove it with apt instead:"; \
	  echo "$$owned" | sed 's/^/  /'; \
	  exit 1; \
	fi
	xargs -d '\n' $(SUDO) rm -f < $(INSTALL_MANIFEST)
	rm -f $(INSTALL_MANIFEST)
	-@while IFS= read -r name; do $(SUDO) odbcinst -u -d -n "$$name"; done < $(BUILD_DIR)/fernwick-driver-names.txt

clean:
	rm -rf $(BUILD_DIR) $(APPONLY_DIR) build-windows-i686 build-windows-x86_64 $(DRIVER_I386_DIR)

include packaging/windows/windows.mk
