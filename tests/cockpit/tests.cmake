# SPDX-License-Identifier: Apache-2.0
# The Cockpit page in a real browser: cockpit-ws with a local session, sharesim and headless
# chromium, all in the test's private network namespace. Only where Debian's cockpit-ws,
# chromium, chromedriver and python3-selenium are installed, and once, in the normal build.
set(share_cockpit_ws /usr/lib/cockpit/cockpit-ws)
if(SHARE_PROCESS_SUITES AND TARGET sharesim AND TARGET shareadm AND TARGET sharemon
   AND EXISTS ${share_cockpit_ws} AND EXISTS /usr/bin/chromium AND EXISTS /usr/bin/chromedriver)
  execute_process(COMMAND /usr/bin/python3 -c "import pytest, selenium"
    RESULT_VARIABLE share_no_cockpit_deps OUTPUT_QUIET ERROR_QUIET)
  if(share_no_cockpit_deps)
    message(WARNING "python3-pytest or python3-selenium missing: the Cockpit page tests are off")
  else()
    # Two entries, each in a namespace of its own, so that ctest -j runs them side by side:
    # what the page does, and how it looks (pixels) with the login page.
    foreach(suite IN ITEMS "console:test_console.py test_logic.py test_forms.py"
                           "looks:test_pixels.py test_login.py")
      string(REPLACE ":" ";" parts "${suite}")
      list(GET parts 0 name)
      list(GET parts 1 files)
      separate_arguments(files)
      list(TRANSFORM files PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
      add_test(NAME cockpit.${name}
        COMMAND unshare --net -- /usr/bin/python3 -m pytest -q -p no:cacheprovider ${files})
      # The tools run inside the bridge that cockpit-ws starts, so they come from PATH: the
      # build's folder of them, which sharesim's location gives.
      set_tests_properties(cockpit.${name} PROPERTIES LABELS cockpit TIMEOUT 600 ENVIRONMENT
        "SHARESIM=$<TARGET_FILE:sharesim>;SHARE_FACTS=${SHARE_FACTS_JSON};SHARE_SOURCE_DIR=${PROJECT_SOURCE_DIR};COCKPIT_WS=${share_cockpit_ws};PYTHONDONTWRITEBYTECODE=1")
    endforeach()
  endif()
endif()
