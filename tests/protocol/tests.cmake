# SPDX-License-Identifier: Apache-2.0
# The real-time test of the exchange's 90-second limit: labelled slow, so the normal run
# (ctest -LE slow) leaves it out; run it with ctest -L slow.
add_executable(protocol_slow_test ${CMAKE_CURRENT_LIST_DIR}/slow/timeout_slow.cpp)
target_link_libraries(protocol_slow_test PRIVATE share_test_support share_protocol
  PkgConfig::AUDIT)
target_compile_options(protocol_slow_test PRIVATE ${SHARE_WARNINGS} -Wno-sign-conversion
  -Wno-conversion)
add_test(NAME protocol.slow.timeout COMMAND protocol_slow_test)
set_tests_properties(protocol.slow.timeout PROPERTIES LABELS slow TIMEOUT 200)
