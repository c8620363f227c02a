# SPDX-License-Identifier: Apache-2.0
# The Markdown docs' examples and links (see docs_runner.py), one test per file found, each in a
# private network namespace with its own stand-in server; and the runner's own unit test. Once,
# against the normal build (see tests/CMakeLists.txt).
if(NOT SHARE_PROCESS_SUITES OR NOT TARGET sharesim OR NOT TARGET shareadm OR NOT TARGET sharemon)
  return()
endif()
execute_process(COMMAND /usr/bin/python3 -c "import pytest"
  RESULT_VARIABLE share_no_pytest_for_docs OUTPUT_QUIET ERROR_QUIET)
if(share_no_pytest_for_docs)
  message(WARNING "python3-pytest missing: the docs tests are off")
  return()
endif()
set(share_docs_dir ${CMAKE_CURRENT_LIST_DIR})
set(share_docs_pytest /usr/bin/python3 -m pytest -q -p no:cacheprovider)
file(GLOB share_docs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md
  ${PROJECT_SOURCE_DIR}/doc/*.md)
set(share_docs_env "SHARESIM=$<TARGET_FILE:sharesim>;SHAREADM=$<TARGET_FILE:shareadm>;SHAREMON=$<TARGET_FILE:sharemon>;SHARE_BUILD_DIR=${PROJECT_BINARY_DIR};SHARE_PYTHONPATH=${PROJECT_BINARY_DIR}/python;CC=${CMAKE_C_COMPILER};SHARE_INCLUDE_DIR=${SHARE_INCLUDE_DIR};LIBSHAREADMIN=$<TARGET_FILE:shareadmin>;PYTHONDONTWRITEBYTECODE=1")
foreach(md ${share_docs})
  get_filename_component(name ${md} NAME_WE)
  add_test(NAME docs.${name}
    COMMAND unshare --net -- ${share_docs_pytest} ${share_docs_dir}/test_docs.py --doc ${md}
            -k "not c_examples")
  set_tests_properties(docs.${name} PROPERTIES LABELS docs TIMEOUT 600
    ENVIRONMENT "${share_docs_env}")
endforeach()
# The C examples of every file, against the public headers and the built library: no server
# needed, so under the name the packaging tests have always known them by.
add_test(NAME install.readme
  COMMAND ${share_docs_pytest} ${share_docs_dir}/test_docs.py -k c_examples)
set_tests_properties(install.readme PROPERTIES LABELS "install;docs" TIMEOUT 300
  ENVIRONMENT "${share_docs_env}")
add_test(NAME docs.runner
  COMMAND unshare --net -- ${share_docs_pytest} ${share_docs_dir}/test_docs_runner.py)
set_tests_properties(docs.runner PROPERTIES LABELS docs TIMEOUT 120
  ENVIRONMENT "${share_docs_env}")
