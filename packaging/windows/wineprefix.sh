#!/usr/bin/env bash
# Makes a private Wine prefix for the tests: wineprefix.sh ARCH FOLDER (i686: 32-bit Wine,
# x86_64: 64-bit Wine). Kept when already made; it prints the loader to run programs with.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 i686|x86_64 FOLDER" >&2; exit 2; }
case $1 in
  i686) export WINEARCH=win32; loader=/usr/lib/wine/wine ;;
  x86_64) export WINEARCH=win64; loader=/usr/lib/wine/wine64 ;;
  *) echo "wineprefix.sh: unknown architecture $1" >&2; exit 2 ;;
esac
export WINEPREFIX=$(realpath -m "$2") WINEDEBUG=-all
# The loader is the only thing on standard output, since the caller takes it from there:
# whatever Wine itself says while it makes the prefix goes to standard error.
exec 3>&1 1>&2
# No browser or .NET engine is needed, and asking for them would wait on a display.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.fernwick-prefix" ]; then
  rm -rf "$WINEPREFIX"
  DISPLAY= "$loader" wineboot -i >/dev/null 2>&1
  settings=$(dirname "$(realpath "$0")")/wine-prefix.reg
  DISPLAY= "$loader" regedit /S "Z:${settings//\//\\}"
  "$(dirname "$loader")/wineserver" -w
  touch "$WINEPREFIX/.fernwick-prefix"
fi
echo "$loader" >&3
