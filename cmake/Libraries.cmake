# SPDX-License-Identifier: Apache-2.0
# The two shipped libraries: each links its own copy of the protocol core objects and exports
# exactly the symbols of its version script.
function(share_shared_library name mapfile)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    LINK_DEPENDS ${mapfile})
  target_link_options(${name} PRIVATE -Wl,--version-script=${mapfile})
  # clang links the sanitizers' runtime into programs only: an instrumented library of a fuzz
  # build takes those symbols from the fuzzer it is loaded into.
  if(NOT SHARE_BUILD_FUZZ)
    target_link_options(${name} PRIVATE -Wl,--no-undefined -Wl,-z,defs)
  endif()
  target_link_libraries(${name} PRIVATE PkgConfig::AUDIT)
  target_include_directories(${name} INTERFACE
    $<BUILD_INTERFACE:${SHARE_INCLUDE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()

share_shared_library(shareadmin ${PROJECT_SOURCE_DIR}/cmake/shareadmin.map
  $<TARGET_OBJECTS:share_protocol>
  $<TARGET_OBJECTS:share_command>
  $<TARGET_OBJECTS:share_api>)
share_shared_library(sharemonitor ${PROJECT_SOURCE_DIR}/cmake/sharemonitor.map
  $<TARGET_OBJECTS:share_protocol>
  $<TARGET_OBJECTS:share_monitor>)
add_library(shareadmin::shareadmin ALIAS shareadmin)
add_library(shareadmin::sharemonitor ALIAS sharemonitor)

# Installation: libraries, headers, pkg-config files and a CMake package.
install(TARGETS shareadmin sharemonitor EXPORT shareadminTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${SHARE_INCLUDE_DIR}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The .pc files locate the prefix relative to themselves, so an installed tree can be moved
# (and `cmake --install --prefix` elsewhere works).
file(RELATIVE_PATH SHARE_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
  ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" SHARE_PC_TO_PREFIX "${SHARE_PC_TO_PREFIX}")
foreach(pc shareadmin sharemonitor)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
include(CMakePackageConfigHelpers)
install(EXPORT shareadminTargets NAMESPACE shareadmin:: FILE shareadminTargets.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/shareadmin)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/shareadminConfig.cmake.in
  ${PROJECT_BINARY_DIR}/shareadminConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/shareadmin)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/shareadminConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/shareadminConfig.cmake ${PROJECT_BINARY_DIR}/shareadminConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/shareadmin)
