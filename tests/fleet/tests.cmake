# SPDX-License-Identifier: Apache-2.0
# Three simulated hosts in namespaces of the test's own, each with sshd, the stand-in server and
# the exporter; Ansible over ssh and one Prometheus (see tests/fleet/fleet.sh).
if(SHARE_PROCESS_SUITES)
  # The listing's and the recap's logic, without a fleet.
  add_test(NAME fleet.sessions COMMAND /usr/bin/python3 -m pytest -q -p no:cacheprovider
    ${CMAKE_CURRENT_LIST_DIR}/test_fleet_sessions.py)
  set_tests_properties(fleet.sessions PROPERTIES LABELS fleet TIMEOUT 60
    ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
  find_program(SHARE_SSHD sshd PATHS /usr/sbin)
  find_program(SHARE_ANSIBLE_PLAYBOOK ansible-playbook)
  find_program(SHARE_PROMETHEUS prometheus)
  if(SHARE_SSHD AND SHARE_ANSIBLE_PLAYBOOK AND SHARE_PROMETHEUS)
    add_test(NAME fleet.converge COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fleet_test.sh)
    set_tests_properties(fleet.converge PROPERTIES LABELS fleet TIMEOUT 480
      ENVIRONMENT "FLEET_TOOLS=$<TARGET_FILE_DIR:shareadm>")
  endif()
endif()
