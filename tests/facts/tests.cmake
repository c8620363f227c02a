# SPDX-License-Identifier: Apache-2.0
# The published schemas and the administration guide against the facts the build writes from
# the C++ tables.
set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Interpreter the Python package is built for")
find_package(Python3 COMPONENTS Interpreter)
if(SHARE_PROCESS_SUITES AND Python3_FOUND AND TARGET share_facts_json)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pytest"
    RESULT_VARIABLE share_no_facts_deps OUTPUT_QUIET ERROR_QUIET)
  if(share_no_facts_deps)
    message(WARNING "python3-pytest missing: the facts tests are off")
  else()
    add_test(NAME facts.consistency
      COMMAND ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider
        ${CMAKE_CURRENT_LIST_DIR})
    set_tests_properties(facts.consistency PROPERTIES LABELS facts TIMEOUT 60 ENVIRONMENT
      "SHARE_FACTS=${SHARE_FACTS_JSON};SHARE_SOURCE_DIR=${PROJECT_SOURCE_DIR};PYTHONDONTWRITEBYTECODE=1")
  endif()
endif()
