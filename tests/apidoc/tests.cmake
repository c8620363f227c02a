# SPDX-License-Identifier: Apache-2.0
# The C API reference: doxygen over the public headers without a single warning, every exported
# symbol on a page, the same bytes from any folder. Once, in the normal build, where doxygen is.
if(NOT SHARE_PROCESS_SUITES OR NOT TARGET share_api_doc)
  return()
endif()
add_test(NAME doc.api
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/api_doc_test.py ${DOXYGEN_EXECUTABLE}
          ${PROJECT_BINARY_DIR}/doc/api/Doxyfile ${SHARE_INCLUDE_DIR} ${PROJECT_VERSION}
          ${PROJECT_SOURCE_DIR}/tests/install)
set_tests_properties(doc.api PROPERTIES LABELS doc TIMEOUT 120
  ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
