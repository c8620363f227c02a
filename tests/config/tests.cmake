# SPDX-License-Identifier: Apache-2.0
# Checking and planning of configuration documents, as functions of a server state built in the
# test and a document: no server, the library's validation runs in process.
if(TARGET shareadm_config)
  share_test(config_test config shareadm_config)
endif()
