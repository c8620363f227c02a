# SPDX-License-Identifier: Apache-2.0
# End-to-end tests of the stand-in server and the two tools, through the real shared libraries.
# Each test process runs in its own network namespace (support/main.cpp), where it starts its
# own sharesim.
if(TARGET sharesim AND TARGET shareadm AND TARGET sharemon)
  file(GLOB tools_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
  add_executable(tools_test ${tools_test_sources} ${CMAKE_CURRENT_LIST_DIR}/process.cpp)
  target_link_libraries(tools_test PRIVATE share_test_support sharesim_core share_cli
    shareadmin sharemonitor PkgConfig::AUDIT)
  target_compile_options(tools_test PRIVATE ${SHARE_WARNINGS} -Wno-sign-conversion -Wno-conversion)
  target_compile_definitions(tools_test PRIVATE
    SHARESIM_BIN="$<TARGET_FILE:sharesim>"
    SHAREADM_BIN="$<TARGET_FILE:shareadm>"
    SHAREMON_BIN="$<TARGET_FILE:sharemon>")
  add_dependencies(tools_test sharesim shareadm sharemon)
  gtest_discover_tests(tools_test DISCOVERY_TIMEOUT 60 PROPERTIES LABELS tools)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/fences.cmake)
