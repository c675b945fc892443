#!/usr/bin/env bash
# Builds a settings-file image with the host's openssl, independently of the product's cipher code:
#   [16-byte counter block][16 bytes 0xA5][AES-256-CTR of: N (LE32) | N filler bytes | text | tail]
# Usage: make-openssl-vector.sh TEXT_FILE FILLER_HEX TAIL_HEX IV_HEX OUTPUT
set -euo pipefail
text="$1" filler="$2" tail="$3" iv="$4" out="$5"
key=52b4d3e1b0af9e7373807650b027d91cb3a7e621dea0acee1fbe52ed6e808b17   # SHA-256 of "5170392846"
n=$(( ${#filler} / 2 ))
hex_bytes() { [ -z "$1" ] || printf '%s' "$1" | xxd -r -p; }
plain="$out.plain"
{
  printf '%08x' "$n" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/' | xxd -r -p
  hex_bytes "$filler"
  cat "$text"
  hex_bytes "$tail"
} > "$plain"
{
  hex_bytes "$iv"
  printf 'a5%.0s' $(seq 16) | xxd -r -p
  openssl enc -aes-256-ctr -K "$key" -iv "$iv" -in "$plain"
} > "$out"
rm -f "$plain"
