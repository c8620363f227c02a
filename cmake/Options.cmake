# SPDX-License-Identifier: Apache-2.0
# Compiler settings shared by every target of the project.
set(SHARE_WARNINGS -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow)
# Errors only when asked (scripts/test and CI): a newer compiler's new warnings must not break a
# packager's build.
if(SHARE_WERROR)
  list(APPEND SHARE_WARNINGS -Werror)
endif()

if(SHARE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(SHARE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT SHARE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "SHARE_SANITIZE must be empty, 'address' or 'thread'")
endif()
# Instrumented builds at -O1 with line tables only: all a sanitizer's report needs, and a third of
# the compile time of -O2 -g (instrumented templates are the slowest compiles of the project).
if(NOT SHARE_SANITIZE STREQUAL "")
  add_compile_options(-O1 -g1)
endif()

# libFuzzer builds (clang): coverage on every object, ASan+UBSan everywhere.
if(SHARE_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

set(SHARE_INCLUDE_DIR ${PROJECT_SOURCE_DIR}/include)

# share_object_library(<name> <dir>): every .cpp of <dir> as one object library.
function(share_object_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} OBJECT ${sources})
  target_include_directories(${name} PUBLIC ${SHARE_INCLUDE_DIR} ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SHARE_WARNINGS})
  target_compile_features(${name} PUBLIC cxx_std_20)
endfunction()
