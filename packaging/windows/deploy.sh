#!/usr/bin/env bash
# Puts fernwick.exe into a folder with everything it needs to run on Windows: Qt's DLLs and
# plugins, the MinGW runtime and OpenSSL's DLLs, all stripped, and LICENSES.txt, their
# licences. Every DLL that a shipped file
# imports is then either shipped too or part of Windows; anything else fails the build.
#   deploy.sh ARCH EXE TOOLCHAIN_PREFIX FOLDER
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 ARCH EXE TOOLCHAIN_PREFIX FOLDER" >&2; exit 2; }
arch=$1 exe=$2 toolchain=$3 folder=$4
triplet=$arch-w64-mingw32
case $arch in
  i686) gcc_runtime=libgcc_s_dw2-1.dll ssl_suffix= ;;
  x86_64) gcc_runtime=libgcc_s_seh-1.dll ssl_suffix=-x64 ;;
  *) echo "deploy.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
qt=$toolchain/qt

rm -rf "$folder"
mkdir -p "$folder"/{platforms,sqldrivers,styles}
cp "$exe" "$folder/"
for module in Core Gui Widgets Network Sql; do cp "$qt/bin/Qt5$module.dll" "$folder/"; done
cp "$qt/plugins/platforms/"{qwindows,qoffscreen}.dll "$folder/platforms/"
cp "$qt/plugins/sqldrivers/"{qsqlite,qsqlodbc}.dll "$folder/sqldrivers/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
gcc_dir=$(dirname "$("$triplet-gcc-posix" -print-libgcc-file-name)")
cp "$gcc_dir/$gcc_runtime" "$gcc_dir/libstdc++-6.dll" "/usr/$triplet/lib/libwinpthread-1.dll" "$folder/"
cp "$toolchain/openssl/bin/"{libssl,libcrypto}-3$ssl_suffix.dll "$folder/"
# The plugins are found beside the executable, wherever it is installed.
printf '[Paths]\nPrefix = .\nPlugins = .\n' > "$folder/qt.conf"
cmake -DOUTPUT="$folder/LICENSES.txt" -DCRLF=ON -P "$(dirname "$0")/../licenses/combine.cmake"
find "$folder" -name '*.dll' -o -name '*.exe' | xargs "$triplet-strip" --strip-unneeded

shipped=$(find "$folder" -iname '*.dll' -printf '%f\n' | tr 'A-Z' 'a-z')
missing=$(find "$folder" -iname '*.dll' -o -iname '*.exe' | xargs "$triplet-objdump" -p |
  sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u |
  grep -v -x -F "$shipped" |
  grep -v -E '^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|comdlg32|winmm|ws2_32|mpr|netapi32|userenv|version|imm32|dwmapi|uxtheme|odbc32|crypt32|wtsapi32|winspool\.drv|shlwapi|msvcrt|iphlpapi|dnsapi|secur32|setupapi|cfgmgr32|authz|d3d9|d3d11|dxgi|dwrite|d2d1|bcrypt|ncrypt|rpcrt4|comctl32)\.dll$|^api-ms-win-' || true)
if [ -n "$missing" ]; then
  echo "deploy.sh: $folder lacks DLLs that its files import:" $missing >&2
  exit 1
fi
echo "deploy: $folder, $(du -sh "$folder" | cut -f1)"
