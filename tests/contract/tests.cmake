# SPDX-License-Identifier: Apache-2.0
# The tools' contract as a script author meets it: exit statuses, messages and JSON documents
# (validated against the published schema), pytest per file in a private network namespace.
# Debian's interpreter: the Python libraries the tests use come from Debian's packages.
set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Interpreter the Python package is built for")
find_package(Python3 COMPONENTS Interpreter)
if(SHARE_PROCESS_SUITES AND Python3_FOUND AND TARGET sharesim AND TARGET shareadm
   AND TARGET sharemon)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pytest, jsonschema"
    RESULT_VARIABLE share_no_contract_deps OUTPUT_QUIET ERROR_QUIET)
  if(share_no_contract_deps)
    message(WARNING "python3-pytest or python3-jsonschema missing: the contract tests are off")
  else()
    file(GLOB contract_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.py)
    foreach(file ${contract_tests})
      get_filename_component(name ${file} NAME_WE)
      add_test(NAME contract.${name}
        COMMAND unshare --net -- ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider ${file})
      set_tests_properties(contract.${name} PROPERTIES LABELS contract TIMEOUT 300 ENVIRONMENT
        "SHARESIM=$<TARGET_FILE:sharesim>;SHAREADM=$<TARGET_FILE:shareadm>;SHAREMON=$<TARGET_FILE:sharemon>;SHARE_SOURCE_DIR=${PROJECT_SOURCE_DIR};SHARE_BUILD_DIR=${PROJECT_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
    endforeach()
  endif()
endif()
