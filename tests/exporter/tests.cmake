# SPDX-License-Identifier: Apache-2.0
# The exporter (sharemon metrics and serve): its rendering and gatherer in-process, the HTTP
# endpoint and the files it writes as processes, the deployment files, and a real Prometheus.
# Every test runs in a private network namespace (support/main.cpp, or unshare --net).
if(TARGET sharemon_exporter AND TARGET sharesim)
  file(GLOB exporter_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
  add_executable(exporter_test ${exporter_test_sources} ${CMAKE_CURRENT_LIST_DIR}/http_client.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tools/process.cpp)
  target_include_directories(exporter_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(exporter_test PRIVATE share_test_support sharemon_exporter sharesim_core
    PkgConfig::AUDIT)
  target_compile_options(exporter_test PRIVATE ${SHARE_WARNINGS} -Wno-sign-conversion -Wno-conversion)
  target_compile_definitions(exporter_test PRIVATE
    SHARESIM_BIN="$<TARGET_FILE:sharesim>"
    SHAREADM_BIN="$<TARGET_FILE:shareadm>"
    SHAREMON_BIN="$<TARGET_FILE:sharemon>")
  add_dependencies(exporter_test sharesim sharemon)
  gtest_discover_tests(exporter_test DISCOVERY_TIMEOUT 60 PROPERTIES LABELS exporter)

  # The exporter's figures (scrape against direct gather at 65,535 connections, resident memory
  # over 100 scrapes): printed and bounded. Slow, and meaningless under the sanitizers.
  if(SHARE_SANITIZE STREQUAL "")
    add_executable(exporter_figures ${CMAKE_CURRENT_LIST_DIR}/figures.cpp
      ${CMAKE_CURRENT_LIST_DIR}/http_client.cpp ${CMAKE_CURRENT_SOURCE_DIR}/tools/process.cpp)
    target_include_directories(exporter_figures PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(exporter_figures PRIVATE share_test_support sharemon_exporter
      sharesim_core PkgConfig::AUDIT)
    target_compile_options(exporter_figures PRIVATE ${SHARE_WARNINGS} -Wno-sign-conversion
      -Wno-conversion)
    target_compile_definitions(exporter_figures PRIVATE
      SHARESIM_BIN="$<TARGET_FILE:sharesim>" SHAREMON_BIN="$<TARGET_FILE:sharemon>")
    add_dependencies(exporter_figures sharesim sharemon)
    add_test(NAME exporter.figures COMMAND exporter_figures)
    set_tests_properties(exporter.figures PROPERTIES LABELS "exporter;slow" TIMEOUT 600)
  endif()

  # The scripts and Prometheus: once, against the normal build (see tests/CMakeLists.txt).
  if(NOT SHARE_PROCESS_SUITES)
    return()
  endif()
  set(sh ${CMAKE_CURRENT_LIST_DIR})
  add_test(NAME exporter.metrics COMMAND unshare --net bash ${sh}/metrics_test.sh
    $<TARGET_FILE:sharesim> $<TARGET_FILE:sharemon> $<TARGET_FILE:shareadm>)
  add_test(NAME exporter.deploy COMMAND unshare --net bash ${sh}/deploy_test.sh
    ${PROJECT_SOURCE_DIR}/deploy $<TARGET_FILE:sharesim> $<TARGET_FILE:sharemon>)
  add_test(NAME exporter.prometheus COMMAND unshare --net bash ${sh}/prometheus_test.sh
    ${PROJECT_SOURCE_DIR} $<TARGET_FILE:sharesim> $<TARGET_FILE:sharemon> $<TARGET_FILE:shareadm>)
  set_tests_properties(exporter.metrics exporter.deploy PROPERTIES LABELS exporter TIMEOUT 120)
  set_tests_properties(exporter.prometheus PROPERTIES LABELS "exporter;prometheus" TIMEOUT 120)
  add_test(NAME exporter.prometheus_tls COMMAND unshare --net bash ${sh}/prometheus_tls_test.sh
    ${PROJECT_SOURCE_DIR} $<TARGET_FILE:sharesim> $<TARGET_FILE:sharemon>)
  set_tests_properties(exporter.prometheus_tls PROPERTIES LABELS "exporter;prometheus" TIMEOUT 120)
endif()
