#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compares the dynamic symbols a library defines with the expected list, and fails on any extra
# or missing one. With --standalone it also checks that the library neither needs libshareadmin
# nor contains command-processing or management code (exported or not).
# Usage: check_symbols.sh [--standalone] <library> <expected list>...
set -euo pipefail
standalone=0
if [ "$1" = --standalone ]; then standalone=1; shift; fi
lib=$1; shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Defined dynamic symbols without their version suffix; the version node itself (type A) is not
# a symbol of the interface.
nm -D --defined-only "$lib" | awk '$2 != "A" { sub(/@.*/, "", $3); print $3 }' | sort -u >"$work/actual"
cat "$@" | sed 's/#.*//; s/[[:space:]]//g; /^$/d' | sort -u >"$work/expected"

status=0
extra=$(comm -23 "$work/actual" "$work/expected")
missing=$(comm -13 "$work/actual" "$work/expected")
if [ -n "$extra" ]; then
  echo "$(basename "$lib") exports symbols that are not part of its interface:"
  echo "$extra" | sed 's/^/  + /'
  status=1
fi
if [ -n "$missing" ]; then
  echo "$(basename "$lib") lacks documented exports (not implemented yet, or hidden):"
  echo "$missing" | sed 's/^/  - /'
  status=1
fi

if [ "$standalone" = 1 ]; then
  if readelf -d "$lib" | grep NEEDED | grep shareadmin >/dev/null; then
    echo "$(basename "$lib") needs libshareadmin:"
    readelf -d "$lib" | grep NEEDED
    status=1
  fi
  # The full symbol table, local symbols included: no piece of the management library may be
  # linked in, exported or not.
  pattern='CIFSLIB_|ValidateAndProcessCmd|ProcessCommandLineData|Process[A-Za-z]*CommandData|ProcessClearConnectionInputParameters|PopulateRequestPacket|gbCifsArg|share::command::|share::api::'
  if nm -C "$lib" 2>/dev/null | grep -E "$pattern" >"$work/foreign"; then
    echo "$(basename "$lib") contains command-processing or management code:"
    sed 's/^/  ! /' "$work/foreign"
    status=1
  fi
fi

if [ "$status" = 0 ]; then
  echo "$(basename "$lib"): $(wc -l <"$work/actual") exported symbols, exactly as expected"
fi
exit $status
