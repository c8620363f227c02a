# SPDX-License-Identifier: Apache-2.0
# Sourced by the install tests: the compiler flags a program needs to load a library built with
# sanitizers (their runtime must come first), derived from what the library itself needs.
# Usage: sanitizer_flags <library>   (prints the flags, possibly none)
sanitizer_flags() {
  local needed
  needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  local flags=()
  case $needed in *libasan*) flags+=(-fsanitize=address) ;; esac
  case $needed in *libubsan*) flags+=(-fsanitize=undefined) ;; esac
  case $needed in *libtsan*) flags+=(-fsanitize=thread) ;; esac
  echo "${flags[@]}"
}
