#!/usr/bin/env bash
# Signs Windows executables in place with osslsigncode, with the certificate and key of a
# PKCS#12 file and the password in a file of its own (never on the command line, where ps
# shows it). Without a PKCS#12 file it says plainly that nothing is signed.
#   sign.sh PKCS12 PASSWORD_FILE FILE...
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 PKCS12 PASSWORD_FILE FILE..." >&2; exit 2; }
pkcs12=$1 password_file=$2
shift 2
if [ -z "$pkcs12" ]; then
  echo "not signed, since no SIGN_PKCS12 is given:" "$@"
  exit 0
fi
for file in "$@"; do
  if ! osslsigncode sign -pkcs12 "$pkcs12" -readpass "$password_file" -n KELDO-FERNWICK -h sha256 \
       -in "$file" -out "$file.signed" >/dev/null; then
    rm -f "$file.signed"
    echo "sign.sh: $file could not be signed with $pkcs12 (the password in $password_file)" >&2
    exit 1
  fi
  mv "$file.signed" "$file"
  echo "signed $file with $pkcs12"
done
