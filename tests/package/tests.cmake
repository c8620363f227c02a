# SPDX-License-Identifier: Apache-2.0
# scripts/spdx on small trees. The Debian packages are checked by tests/package/run instead: it
# takes minutes and installs on the machine, so scripts/test runs it after the suite.
execute_process(COMMAND /usr/bin/python3 -c "import pytest"
  RESULT_VARIABLE share_no_pytest_for_spdx OUTPUT_QUIET ERROR_QUIET)
if(SHARE_PROCESS_SUITES AND NOT share_no_pytest_for_spdx)
  add_test(NAME package.spdx COMMAND /usr/bin/python3 -m pytest -q -p no:cacheprovider
    ${CMAKE_CURRENT_LIST_DIR}/test_spdx.py)
  set_tests_properties(package.spdx PROPERTIES LABELS package TIMEOUT 120
    ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
endif()
