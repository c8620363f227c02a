#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build tree into a temporary prefix and builds a downstream project that finds the
# libraries with find_package(shareadmin), then runs its program.
# Usage: cmake_package_test.sh <build dir> <C compiler>
set -euo pipefail
build=$1 cc=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/sanitizer_flags.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
flags=$(sanitizer_flags "$(find "$work/prefix" -name libshareadmin.so -print -quit)")
cmake -S "$here/consumer" -B "$work/build" -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
out=$("$work/build/consumer")
echo "consumer: $out"
[ "$out" = ok ]
