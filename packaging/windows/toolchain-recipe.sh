# The recipe proper, sourced by toolchain.sh: how the Windows toolchain of one architecture is
# built from Debian's source packages. The toolchain's folder and archive are named by the hash
# of this file, so that a change here never takes an old build, and only a change here does.
# It expects arch, triplet, openssl_target, prefix, work and jobs to be set.

# The sources come from Debian's archive through a private apt configuration, a deb-src line
# for each of the machine's own deb entries, so the machine's apt stays as it is.
fetch_sources() {
  local apt=$work/apt
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial"
  rm -f "$apt/parts/"*
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*\bdeb\b.*$/Types: deb-src/' "$f" > "$apt/parts/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" > "$apt/parts/$(basename "$f")"
  done
  local options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/parts"
                 -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
  apt-get "${options[@]}" -qq update
  mkdir -p "$work/download"
  (cd "$work/download" &&
   apt-get "${options[@]}" -qq source --download-only qtbase-opensource-src &&
   apt-get "${options[@]}" -qq source --download-only --tar-only sqlite3 openssl)
}

unpack() {  # unpack NAME-GLOB INTO: the one upstream tarball of a source package
  local tarball
  tarball=$(ls "$work/download/"$1 | head -n 1)
  rm -rf "$2" && mkdir -p "$2"
  tar -xf "$tarball" -C "$2" --strip-components=1
}

# Debian's mingw compilers come as -posix and -win32 variants; Qt's and OpenSSL's makefiles
# call the plain names, which here always mean the posix ones (std::thread needs them).
compiler_links() {
  local bin=$work/$arch/bin
  mkdir -p "$bin"
  for tool in gcc g++ cpp; do ln -sf "$(command -v "$triplet-$tool-posix")" "$bin/$triplet-$tool"; done
  PATH=$bin:$PATH
}

build_openssl() {
  unpack 'openssl_*.orig.tar.*' "$work/$arch/openssl"
  (cd "$work/$arch/openssl" &&
   ./Configure "$openssl_target" --cross-compile-prefix="$triplet-" --prefix="$prefix/openssl" \
     --libdir=lib shared no-tests &&
   make -j"$jobs" build_libs >/dev/null && make install_dev >/dev/null)
}

# Debian's qtbase source has no bundled SQLite; SQLite's own build makes the amalgamation
# from Debian's sqlite3 source, and it goes where Qt's bundled copy would be.
sqlite_amalgamation() {
  local qtsrc=$1 sqlite=$work/$arch/sqlite3
  unpack 'sqlite3_*.orig.tar.*' "$sqlite"
  (cd "$sqlite" && ./configure >/dev/null && make sqlite3.c >/dev/null)
  mkdir -p "$qtsrc/src/3rdparty/sqlite"
  cp "$sqlite/sqlite3.c" "$sqlite/sqlite3.h" "$qtsrc/src/3rdparty/sqlite/"
}

# Qt as Debian ships it, but for Debian's own build changes: the fixes Debian took from Qt's
# later releases (OpenSSL 3, which renamed functions Qt 5.15.8 looks up at run time, the CVEs,
# QODBC's Unicode checks), in the order of Debian's series, up to its Debian-specific part.
debian_qt_patches() {
  local qtsrc=$1
  tar -xf "$(ls "$work/download/"qtbase-opensource-src_*.debian.tar.* | head -n 1)" -C "$qtsrc"
  sed -n '/^# Backported from upstream/,/^$/p' "$qtsrc/debian/patches/series" | grep -v -e '^#' -e '^$' |
    while read -r patch; do patch -d "$qtsrc" -p1 -s --no-backup-if-mismatch < "$qtsrc/debian/patches/$patch" || exit 1; done
}

build_qt() {
  local qtsrc=$work/$arch/qtbase qtbuild=$work/$arch/qtbase-build
  unpack 'qtbase-opensource-src_*.orig.tar.*' "$qtsrc"
  debian_qt_patches "$qtsrc"
  sqlite_amalgamation "$qtsrc"
  rm -rf "$qtbuild" && mkdir -p "$qtbuild"
  # wintab is missing from Debian's source, hence no tablet events; nothing the tool uses
  # is left out.
  (cd "$qtbuild" &&
   "$qtsrc/configure" -xplatform win32-g++ -device-option CROSS_COMPILE="$triplet-" \
     -prefix "$prefix/qt" -opensource -confirm-license -release -shared -strip \
     -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-vulkan \
     -no-feature-tabletevent -no-feature-concurrent -no-feature-xml -no-feature-testlib \
     -no-feature-printer -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz \
     -qt-sqlite -sql-sqlite -sql-odbc -openssl-runtime OPENSSL_INCDIR="$prefix/openssl/include" &&
   make -j"$jobs" >/dev/null && make install >/dev/null)
}
