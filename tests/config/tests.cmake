# SPDX-License-Identifier: Apache-2.0
# Checking and planning of configuration documents, as functions of a server state built in the
# test and a document: no server, the library's validation runs in process. The options' round
# trip runs against the build's own stand-in server, in the test's private network namespace.
if(TARGET share_config AND TARGET sharesim)
  share_test(config_test config share_output)
  target_compile_definitions(config_test PRIVATE SHARESIM_BIN="$<TARGET_FILE:sharesim>")
  add_dependencies(config_test sharesim)
endif()
# Generated documents against the stand-in server (Debian's python3-hypothesis), in a private
# network namespace like the contract suites: valid ones converge (a bounded run here, a longer one
# in the slow stage), invalid ones change nothing. Each prints its seeds.
set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Interpreter the Python package is built for")
find_package(Python3 COMPONENTS Interpreter)
if(SHARE_PROCESS_SUITES AND Python3_FOUND AND TARGET sharesim AND TARGET shareadm)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pytest, hypothesis"
    RESULT_VARIABLE share_no_hypothesis OUTPUT_QUIET ERROR_QUIET)
  if(share_no_hypothesis)
    message(WARNING "python3-hypothesis missing: the generated document tests are off")
  else()
    foreach(run IN ITEMS quick slow)
      add_test(NAME config.converge.${run}
        COMMAND unshare --net -- ${Python3_EXECUTABLE} -m pytest -q -s -p no:cacheprovider
                ${CMAKE_CURRENT_LIST_DIR}/test_converge.py)
      set(examples 25)
      if(run STREQUAL slow)
        set(examples 150)
      endif()
      set_tests_properties(config.converge.${run} PROPERTIES LABELS "config;${run}" TIMEOUT 1200
        ENVIRONMENT "SHARESIM=$<TARGET_FILE:sharesim>;SHAREADM=$<TARGET_FILE:shareadm>;CONVERGE_EXAMPLES=${examples};PYTHONDONTWRITEBYTECODE=1")
    endforeach()
    add_test(NAME config.hostile_documents
      COMMAND unshare --net -- ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider
              ${CMAKE_CURRENT_LIST_DIR}/test_hostile_documents.py)
    set_tests_properties(config.hostile_documents PROPERTIES LABELS "config;contract" TIMEOUT 600
      ENVIRONMENT "SHARESIM=$<TARGET_FILE:sharesim>;SHAREADM=$<TARGET_FILE:shareadm>;SHARE_SOURCE_DIR=${PROJECT_SOURCE_DIR};PYTHONDONTWRITEBYTECODE=1")
  endif()
endif()
