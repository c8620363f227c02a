# SPDX-License-Identifier: Apache-2.0
# The test support that needs no GoogleTest: the fake server, the wire helpers, the record
# builders, the argument-block helpers and the stand-in server as a child process. Included by the tests, the fuzz targets and the
# benchmarks, whichever of them this build has.
include_guard(GLOBAL)
add_library(share_test_common STATIC
  ${CMAKE_CURRENT_LIST_DIR}/wire.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sim_process.cpp)
target_include_directories(share_test_common PUBLIC ${PROJECT_SOURCE_DIR} ${SHARE_INCLUDE_DIR})
target_compile_options(share_test_common PRIVATE ${SHARE_WARNINGS})
target_link_libraries(share_test_common PUBLIC pthread)
