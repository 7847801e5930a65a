#!/usr/bin/env bash
# Installs the i386 packages that 32-bit Wine and the i386 stand-in driver need, and the amd64
# ones given with them, on a machine whose amd64 packages may be newer than what the i386 lists
# offer.
#
#   install-i386.sh PACKAGE...
#
# Only lists that apt itself has verified are used. When an i386 list cannot be fetched (a
# mirror mid-sync) the others still serve. When a Multi-Arch: same library is installed for
# amd64 at a version that i386 is not offered in, both architectures are moved to the newest
# version they share (i386-common-versions.py), and one line names every package so moved. When the set cannot be
# installed even so, one line says why and the exit status is 1.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
sudo=$([ "$(id -u)" = 0 ] || echo sudo)
say() { echo "windows-i386: $*"; }

missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed' ||
      echo "$package"
  done
}

# apt keeps the last list it verified for each source; one that fails now is named and left out.
update_lists() {
  local errors
  errors=$($sudo apt-get update -qq 2>&1 >/dev/null) && return 0
  errors=$(grep -E '^(E|W): Failed to fetch' <<<"$errors" |
    sed -E 's/^(E|W): Failed to fetch //; s/ *\[IP: [^]]*\]//' | paste -sd ';' -)
  say "apt-get update could not fetch ${errors:-some lists}; going on with the lists apt has verified"
}

# The installed packages an install plan moves to another version, as "name old → new".
moved_packages() {
  sed -nE 's/^Inst ([^ ]+) \[([^]]+)\] \(([^ ]+) .*/\1 \2 → \3/p' | paste -sd ',' - | sed 's/,/, /g'
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}

# mapfile, not a word split, so that set -e sees a failure of the query itself.
mapfile -t missing < <(missing_packages "$@")
[ ${#missing[@]} -gt 0 ] || exit 0

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "the machine takes i386 packages from now on (dpkg --add-architecture i386)"
  $sudo dpkg --add-architecture i386
fi
update_lists

if apt-get install -s -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
  apt_install "${missing[@]}"
  exit 0
fi

preferences=$(mktemp)
trap 'rm -f "$preferences"' EXIT
unshared=$(/usr/bin/python3 "$here/i386-common-versions.py" "${missing[@]}" 2>&1 >"$preferences") ||
  { say "apt's package lists could not be read: $unshared" >&2; exit 1; }
pinned=(-o "Dir::Etc::Preferences=$preferences" --allow-downgrades --no-remove)
if ! plan=$(apt-get install -s --no-install-recommends "${pinned[@]}" "${missing[@]}" 2>&1); then
  why=$(grep -E '^ +[^ ]+ : (Depends|Breaks|Conflicts|PreDepends)' <<<"$plan" | head -n 3 |
    sed 's/^ *//' | paste -sd ';' -)
  say "the 32-bit packages cannot be installed: ${why:-$(tail -n 1 <<<"$plan")}${unshared:+ ($unshared)}" >&2
  exit 1
fi
moved=$(moved_packages <<<"$plan")
[ -z "$moved" ] ||
  say "amd64 packages moved to the versions that amd64 and i386 are both offered in: $moved"
apt_install "${pinned[@]}" "${missing[@]}"
