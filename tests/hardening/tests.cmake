# Hardening: hostile servers, resource failures and concurrency, through the shared libraries as
# a host program uses them. Tests whose name contains "Slow" are labelled slow (left out of the
# normal run); the concurrency tests have their own binary, labelled concurrency, so that
# scripts/tsan builds and runs only them.
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
  TEST_LIST hardening_slow PROPERTIES LABELS "hardening;slow" TIMEOUT 900)

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
    PROPERTIES LABELS "hardening;concurrency" TIMEOUT 600)
endif()
