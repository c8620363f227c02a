#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compiles every public header on its own (twice, to check its include guard) as C99 and as C++
# under -Wall -Wextra -pedantic -Werror.
# Usage: headers_test.sh <include dir> <C compiler> <C++ compiler>
set -euo pipefail
include=$1 cc=$2 cxx=$3
status=0
count=0
while IFS= read -r header; do
  rel=${header#"$include"/}
  src=$(printf '#include "%s"\n#include "%s"\nint main(void) { return 0; }\n' "$rel" "$rel")
  for lang in "c:$cc:-std=c99" "c++:$cxx:-std=c++11" "c++:$cxx:-std=c++20"; do
    IFS=: read -r x compiler std <<<"$lang"
    if ! out=$(echo "$src" | "$compiler" -x "$x" "$std" -Wall -Wextra -pedantic -Werror \
                 -fsyntax-only -I "$include" - 2>&1); then
      echo "FAIL $rel ($x $std):"
      echo "$out" | sed 's/^/    /'
      status=1
    fi
    count=$((count + 1))
  done
done < <(find "$include" -name '*.h' | sort)
[ "$status" = 0 ] && echo "$count header compilations passed"
exit $status
