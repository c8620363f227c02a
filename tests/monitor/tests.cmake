# libsharemonitor exports exactly its documented symbols and carries no command-processing or
# management code, neither defined nor referenced.
add_test(NAME monitor_symbols
  COMMAND ${CMAKE_COMMAND}
    -DNM=${CMAKE_NM}
    -DLIBRARY=$<TARGET_FILE:sharemonitor>
    "-DEXPECTED=${CMAKE_CURRENT_LIST_DIR}/../install/protocol.symbols;${CMAKE_CURRENT_LIST_DIR}/../install/sharemonitor.symbols"
    -P ${CMAKE_CURRENT_LIST_DIR}/symbols.cmake)
set_tests_properties(monitor_symbols PROPERTIES LABELS monitor)
