# SPDX-License-Identifier: Apache-2.0
# Hardening: hostile servers, resource failures and concurrency, through the shared libraries as
# a host program uses them. Labels: hardening; slow for the tests whose name contains "Slow"
# (left out of the normal run); concurrency for the binary of its own that scripts/tsan builds
# and runs under ThreadSanitizer. One label each: a list would not survive test discovery.
add_executable(hardening_test
  ${CMAKE_CURRENT_LIST_DIR}/hardening.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hostile_server_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resource_test.cpp)
target_link_libraries(hardening_test PRIVATE share_test_support shareadmin sharemonitor)
target_compile_options(hardening_test PRIVATE ${SHARE_WARNINGS} -Wno-sign-conversion
  -Wno-conversion -Wno-missing-field-initializers)
gtest_discover_tests(hardening_test DISCOVERY_TIMEOUT 60 TEST_FILTER "-*Slow*"
  TEST_LIST hardening_fast PROPERTIES LABELS hardening)
gtest_discover_tests(hardening_test DISCOVERY_TIMEOUT 60 TEST_FILTER "*Slow*"
  TEST_LIST hardening_slow PROPERTIES LABELS slow TIMEOUT 900)

if(TARGET sharesim)
  add_executable(hardening_concurrency_test ${CMAKE_CURRENT_LIST_DIR}/hardening.cpp
    ${CMAKE_CURRENT_LIST_DIR}/concurrency_test.cpp)
  target_link_libraries(hardening_concurrency_test PRIVATE share_test_support shareadmin
    sharemonitor)
  target_compile_options(hardening_concurrency_test PRIVATE ${SHARE_WARNINGS}
    -Wno-sign-conversion -Wno-conversion -Wno-missing-field-initializers)
  target_compile_definitions(hardening_concurrency_test PRIVATE
    SHARESIM_BIN="$<TARGET_FILE:sharesim>")
  add_dependencies(hardening_concurrency_test sharesim)
  gtest_discover_tests(hardening_concurrency_test DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS concurrency TIMEOUT 600)
endif()
