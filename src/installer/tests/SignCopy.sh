#!/usr/bin/env bash
# Signs a copy of installer.exe with a certificate made here, for the start-up tests that tag it.
# Usage: SignCopy.sh <installer.exe> <signed copy>
set -euo pipefail
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$(dirname "$2")"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
  -subj "/CN=Netsetter Test Signer" >/dev/null 2>&1
osslsigncode sign -certs "$WORK/cert.pem" -key "$WORK/key.pem" -n "Netsetter" -h sha256 -in "$1" -out "$WORK/signed.exe" \
  >/dev/null
mv "$WORK/signed.exe" "$2"
