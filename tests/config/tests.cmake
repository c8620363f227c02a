# SPDX-License-Identifier: Apache-2.0
# Checking and planning of configuration documents, as functions of a server state built in the
# test and a document: no server, the library's validation runs in process.
if(TARGET share_config)
  share_test(config_test config share_output)
endif()
