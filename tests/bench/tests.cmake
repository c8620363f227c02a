# SPDX-License-Identifier: Apache-2.0
# The benchmark binary end to end with the shortest runs: every pair measured, the table
# complete, and the peak-heap figures (deterministic) within their bounds.
if(SHARE_BUILD_BENCH)
  add_test(NAME bench.table
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/bench_test.sh $<TARGET_FILE:share_bench>)
  set_tests_properties(bench.table PROPERTIES LABELS bench TIMEOUT 120)
endif()
