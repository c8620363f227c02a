# SPDX-License-Identifier: Apache-2.0
# Checking and planning of configuration documents, as functions of a server state built in the
# test and a document: no server, the library's validation runs in process. The options' round
# trip runs against the build's own stand-in server, in the test's private network namespace.
if(TARGET share_config AND TARGET sharesim)
  share_test(config_test config share_output)
  target_compile_definitions(config_test PRIVATE SHARESIM_BIN="$<TARGET_FILE:sharesim>")
  add_dependencies(config_test sharesim)
endif()
