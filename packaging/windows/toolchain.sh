#!/usr/bin/env bash
# Builds the Windows cross toolchain for one architecture: OpenSSL 3 and Qt 5.15 (Core, Gui,
# Widgets, Network, Sql with QODBC and QSQLITE, the windows and offscreen platforms, the
# styles), made with MinGW-w64 from Debian's source packages.
#
#   toolchain.sh prefix  ARCH   the folder the toolchain of ARCH lives in (i686 or x86_64)
#   toolchain.sh ensure  ARCH   that folder, made: kept when built, unpacked from an archive
#                               of this recipe's own in FERNWICK_TOOLCHAIN_ARCHIVES, else built
#   toolchain.sh ready   ARCH   whether `ensure` has no building to do (built, or an archive)
#   toolchain.sh archive ARCH DIR  packs the built toolchain into DIR, under the name that
#                               `ensure` recognises
#
# A toolchain belongs to the recipe that made it (toolchain-recipe.sh): the folder and the
# archive are named by the hash of that file, so a changed recipe never takes an old build.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=${FERNWICK_TOOLCHAIN_DIR:-/opt/fernwick-windows-toolchain}
archives=${FERNWICK_TOOLCHAIN_ARCHIVES:-$here/../../../shared/toolchains}
work=${FERNWICK_TOOLCHAIN_WORK:-/var/tmp/fernwick-windows-toolchain-work}
jobs=${JOBS:-$(nproc)}
recipe_hash=$(sha256sum "$here/toolchain-recipe.sh" | cut -c1-12)

usage() { echo "usage: $0 prefix|ensure|ready ARCH | archive ARCH DIR  (ARCH: i686 or x86_64)" >&2; exit 2; }

[ $# -ge 2 ] || usage
command=$1 arch=$2
case $arch in
  i686) openssl_target=mingw ;;
  x86_64) openssl_target=mingw64 ;;
  *) usage ;;
esac
triplet=$arch-w64-mingw32
prefix=$root/$recipe_hash/$arch
archive_name=fernwick-windows-toolchain-$arch-$recipe_hash.tar.xz
# shellcheck source=toolchain-recipe.sh
. "$here/toolchain-recipe.sh"

build() {
  local started=$SECONDS
  echo "windows-toolchain: building $arch into $prefix ($jobs jobs; about half an hour)"
  rm -rf "$prefix" "$work/$arch"
  compiler_links
  fetch_sources
  build_openssl
  build_qt
  rm -rf "$work/$arch"
  local took=$((SECONDS - started))
  printf 'built %s in %d min %d s\n' "$(date -u +%FT%TZ)" $((took / 60)) $((took % 60)) > "$prefix/BUILT"
  echo "windows-toolchain: $arch built in $((took / 60)) min $((took % 60)) s, $(du -sh "$prefix" | cut -f1)"
}

ensure() {
  if [ -f "$prefix/BUILT" ]; then
    echo "windows-toolchain: $arch is built in $prefix"
  elif [ -f "$archives/$archive_name" ]; then
    echo "windows-toolchain: unpacking $archives/$archive_name"
    rm -rf "$prefix" && mkdir -p "$prefix"
    tar -xJf "$archives/$archive_name" -C "$prefix"
  else
    build
  fi
}

case $command in
  prefix) echo "$prefix" ;;
  ready) [ -f "$prefix/BUILT" ] || [ -f "$archives/$archive_name" ] ;;
  ensure) ensure ;;
  archive)
    [ $# -eq 3 ] || usage
    [ -f "$prefix/BUILT" ] || { echo "windows-toolchain: $arch is not built in $prefix" >&2; exit 1; }
    mkdir -p "$3"
    tar -cJf "$3/$archive_name" -C "$prefix" .
    echo "windows-toolchain: $3/$archive_name, $(du -h "$3/$archive_name" | cut -f1)" ;;
  *) usage ;;
esac
