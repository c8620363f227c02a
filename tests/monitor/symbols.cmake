# cmake -P script: checks the dynamic and static symbol tables of LIBRARY.
#   NM        the nm program
#   LIBRARY   the shared library
#   EXPECTED  files listing the exported names, one per line

function(symbols out)
  execute_process(COMMAND ${NM} ${ARGN} --format=posix ${LIBRARY}
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} ${ARGN} ${LIBRARY} failed: ${err}")
  endif()
  string(REPLACE "\n" ";" lines "${text}")
  set(names)
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^ ]+) ([A-Za-z])")
      # Skip the version node, an absolute symbol.
      if(NOT CMAKE_MATCH_2 STREQUAL "A")
        string(REGEX REPLACE "@.*$" "" name "${CMAKE_MATCH_1}")
        list(APPEND names "${name}")
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

set(expected)
foreach(f IN LISTS EXPECTED)
  file(STRINGS ${f} lines)
  list(APPEND expected ${lines})
endforeach()
list(SORT expected)

symbols(exported -D --defined-only)
if(NOT exported STREQUAL expected)
  set(extra ${exported})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${exported})
  message(FATAL_ERROR "exports differ\n  unexpected: ${extra}\n  missing: ${missing}")
endif()

# Names of the command pipeline and the management API; their C++ internals by their mangled
# namespaces share::command and share::api.
set(foreign "^CIFSLIB_" "^ValidateAndProcessCmd$" "^ProcessCommandLineData$"
  "^PopulateRequestPacket$" "^Process[A-Za-z]*(CommandData|InputParameters)$" "^gbCifsArg$"
  "^strtolower$" "^strToUpper$" "^stripSpaces$" "^stringHasOnlyPeriods$"
  "N5share7command" "N5share3api")
symbols(undefined -D --undefined-only)
symbols(all --defined-only)
if(all STREQUAL "")
  message(FATAL_ERROR "${LIBRARY} has no symbol table to inspect")
endif()
foreach(name IN LISTS undefined all)
  foreach(pattern IN LISTS foreign)
    if(name MATCHES "${pattern}")
      message(FATAL_ERROR "libsharemonitor carries '${name}'")
    endif()
  endforeach()
endforeach()
list(LENGTH exported n_exported)
list(LENGTH all n_all)
message(STATUS "${n_exported} exports as documented; ${n_all} defined symbols, none foreign")
