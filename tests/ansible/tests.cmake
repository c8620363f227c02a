# SPDX-License-Identifier: Apache-2.0
# The Ansible collection built and installed with ansible-galaxy, then checked where it was
# installed (ansible-doc, compile, yamllint, its unit tests). Needs no server.
find_program(SHARE_ANSIBLE_GALAXY ansible-galaxy)
execute_process(COMMAND /usr/bin/python3 -c "import pytest"
  RESULT_VARIABLE share_no_pytest_for_ansible OUTPUT_QUIET ERROR_QUIET)
if(SHARE_PROCESS_SUITES AND SHARE_ANSIBLE_GALAXY AND NOT share_no_pytest_for_ansible)
  add_test(NAME ansible.collection
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/ansible-collection ${PROJECT_BINARY_DIR}/ansible)
  set_tests_properties(ansible.collection PROPERTIES LABELS ansible TIMEOUT 300)
endif()
