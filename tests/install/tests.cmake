# SPDX-License-Identifier: Apache-2.0
# Packaging tests: install and build against the installed tree, exported symbols, headers.
# Once, against the normal build (see tests/CMakeLists.txt).
if(NOT SHARE_PROCESS_SUITES)
  return()
endif()
set(share_install_dir ${CMAKE_CURRENT_LIST_DIR})

add_test(NAME install.pkgconfig
  COMMAND bash ${share_install_dir}/install_test.sh ${PROJECT_BINARY_DIR}
          ${CMAKE_C_COMPILER} ${CMAKE_CXX_COMPILER})
add_test(NAME install.cmake_package
  COMMAND bash ${share_install_dir}/cmake_package_test.sh ${PROJECT_BINARY_DIR}
          ${CMAKE_C_COMPILER})

add_test(NAME install.symbols.shareadmin
  COMMAND bash ${share_install_dir}/check_symbols.sh $<TARGET_FILE:shareadmin>
          ${share_install_dir}/protocol.symbols ${share_install_dir}/shareadmin.symbols)
add_test(NAME install.symbols.sharemonitor
  COMMAND bash ${share_install_dir}/check_symbols.sh --standalone $<TARGET_FILE:sharemonitor>
          ${share_install_dir}/protocol.symbols ${share_install_dir}/sharemonitor.symbols)

add_test(NAME install.headers
  COMMAND bash ${share_install_dir}/headers_test.sh ${SHARE_INCLUDE_DIR}
          ${CMAKE_C_COMPILER} ${CMAKE_CXX_COMPILER})

set_tests_properties(install.pkgconfig install.cmake_package install.symbols.shareadmin
  install.symbols.sharemonitor install.headers PROPERTIES LABELS install)
# Both install into their own temporary prefix; they only read the build tree.
set_tests_properties(install.pkgconfig install.cmake_package PROPERTIES TIMEOUT 120)

# The C examples of README.md and doc/*.md: install.readme, with the other docs tests in
# tests/docs/tests.cmake.
