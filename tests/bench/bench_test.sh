#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Usage: bench_test.sh SHARE_BENCH
# One short run of every benchmark. Times from such runs mean nothing; what is checked is that
# every benchmark ran, every row of the table has a ratio, and the heap figures, which do not
# depend on timing, stay within their targets.
set -euo pipefail
bench=$1
out=$(mktemp)
trap 'rm -f "$out"' EXIT

# In random order, as scripts/bench runs them: no benchmark may hold the server's name past its run.
"$bench" --benchmark_min_time=0.001 --benchmark_repetitions=1 \
  --benchmark_enable_random_interleaving=true >"$out" 2>&1 || {
  cat "$out"; echo "FAIL: the benchmark binary failed"; exit 1; }
fail() { sed -n '/^Ratio/,$p' "$out"; echo "FAIL: $*"; exit 1; }

grep -q "ERROR OCCURRED" "$out" && { grep "ERROR OCCURRED" "$out"; fail "a benchmark reported an error"; }
table=$(sed -n '/^Ratio/,/^$/p' "$out")
rows=$(printf '%s\n' "$table" | tail -n +2 | grep -c .)
[ "$rows" -eq 29 ] || fail "expected 29 rows in the table, found $rows"
printf '%s\n' "$table" | grep -q "not run" && fail "a row was not measured"

# The ratio column, read from the end of a row: "... ratio <= target verdict" or "... ratio -".
ratio_of() { awk '{ print ($NF == "-") ? $(NF - 1) : $(NF - 3) }' <<<"$1"; }
while IFS= read -r row; do
  ratio=$(ratio_of "$row")
  [[ "$ratio" =~ ^[0-9]+\.[0-9]+$ ]] && [ "$ratio" != "0.00" ] || fail "no ratio in: $row"
done < <(printf '%s\n' "$table" | tail -n +2 | grep .)

# The listings are held to the protocol floor; the raw reads only show where the time goes.
held=$(printf '%s\n' "$table" | grep -c ' / protocol floor .*<= ') || true
[ "$held" -eq 3 ] || fail "expected 3 listings with a target against the protocol floor, found $held"
printf '%s\n' "$table" | grep '^  vs ' | grep -q '<=' && fail "an information row has a target"

# Peak heap: at least the response itself, at most three times it.
for listing in Ext_ListConnDetails CIFSLIB_GetConnectionsList; do
  row=$(printf '%s\n' "$table" | grep "Peak heap, $listing ")
  ratio=$(ratio_of "$row")
  awk -v r="$ratio" 'BEGIN { exit !(r >= 1 && r <= 3) }' || fail "peak heap ratio $ratio: $row"
done

families=$(sed -n '/^Validation and encoding alone/,/^$/p' "$out" | grep -Ec ' [0-9.]+ (ns|us|ms)$')
[ "$families" -eq 9 ] || fail "expected 9 command families, found $families"
grep -Eq '^Stand-in server, 2 client threads: [0-9]+/s exchanges$' "$out" ||
  fail "no rate for the stand-in server"
echo "PASS: $rows rows, $families command families"
