# SPDX-License-Identifier: Apache-2.0
# The fences between the tools' layers (tools/CMakeLists.txt): a header from a layer or tool a
# target does not depend on fails to build. Each row: the target, a header it must not see.
if(TARGET sharemon_exporter AND TARGET shareadm_config)
  set(share_tool_fences
    "sharemon_exporter|shareadm/tool.h"
    "sharemon_exporter|shareadm/config.h"
    "shareadm_config|sharemon/metrics.h"
    "share_client|output/reporter.h"
    "share_config|output/reporter.h"
    "share_config|cli/runtime.h"
    "share_client|cli/runtime.h"
    "share_output|cli/value_checks.h"
    "sharesim_core|client/pipeline.h"
    "sharesim_core|output/output.h")
  foreach(row ${share_tool_fences})
    string(REPLACE "|" ";" row ${row})
    list(GET row 0 target)
    list(GET row 1 header)
    string(MAKE_C_IDENTIFIER "${target}_${header}" name)
    add_library(fence_${name} OBJECT EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/fence.cpp)
    target_link_libraries(fence_${name} PRIVATE ${target})
    target_compile_definitions(fence_${name} PRIVATE FENCE_HEADER="${header}")
    add_test(NAME tools.fence.${name}
      COMMAND ${CMAKE_COMMAND} --build ${PROJECT_BINARY_DIR} --target fence_${name})
    # One build at a time in the tree: two would race on the targets they share.
    set_tests_properties(tools.fence.${name} PROPERTIES LABELS tools RESOURCE_LOCK build_tree
      PASS_REGULAR_EXPRESSION "${header}: No such file")
  endforeach()
endif()
