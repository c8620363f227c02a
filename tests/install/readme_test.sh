#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compiles and links the C examples of README.md against the public headers and the built
# libraries, so the documentation cannot drift from the interface. A fragment without main() is
# wrapped into one.
# Usage: readme_test.sh <README.md> <include dir> <C compiler> <libshareadmin>
set -euo pipefail
readme=$1 include=$2 cc=$3 lib=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
blocks=$(awk '/^```c$/ { n++ } END { print n + 0 }' "$readme")
[ "$blocks" -gt 0 ] || { echo "no C example in $readme"; exit 1; }
for i in $(seq 1 "$blocks"); do
  awk -v want="$i" '/^```c$/ { n++; inside = (n == want); next } /^```$/ { inside = 0 } inside' \
    "$readme" >"$work/block.c"
  if grep -q 'int main' "$work/block.c"; then
    cp "$work/block.c" "$work/example$i.c"
  else
    { echo '#include <shareadmin.h>'; echo '#include <stdlib.h>'; echo 'int main(void) {'
      cat "$work/block.c"; echo 'return 0; }'; } >"$work/example$i.c"
  fi
  "$cc" -std=c99 -Wall -Wextra -pedantic -Werror -I "$include" "$work/example$i.c" "$lib" \
    -o "$work/example$i"
done
echo "$blocks README examples compile and link"
