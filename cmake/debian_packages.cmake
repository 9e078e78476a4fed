# Libraries the tools, the tests and the benchmarks need, looked up together
# with the Debian package that ships each one. A missing library is reported
# by the package to install (CMake alone says only that it found no package
# configuration file), and the part that needs it is skipped: the program
# itself needs the standard library only and must build on any machine.
# tools/setup.sh installs the same packages.

# slscan_find_package(<name> <debian-package> [find_package arguments...])
# Sets SLSCAN_HAVE_<name> to ON or OFF. A macro, so that what find_package
# defines stays in the caller's scope.
macro(slscan_find_package name debian)
  find_package(${name} QUIET ${ARGN})
  if(${name}_FOUND)
    set(SLSCAN_HAVE_${name} ON)
  else()
    set(SLSCAN_HAVE_${name} OFF)
    message(STATUS "${name} not found (Debian package ${debian})")
  endif()
endmacro()

# slscan_skip(<part> <debian-package>...): records that <part> is not built
# because these packages are missing.
function(slscan_skip part)
  string(REPLACE ";" " " packages "${ARGN}")
  message(STATUS "Skipping ${part}: it needs ${packages}")
  set_property(GLOBAL APPEND PROPERTY SLSCAN_SKIPPED_PARTS "${part} (needs ${packages})")
  set_property(GLOBAL APPEND PROPERTY SLSCAN_MISSING_PACKAGES ${ARGN})
endfunction()

# slscan_report_skipped(): at the end of the configure, one message naming
# every skipped part and the apt-get line that brings them back. With
# SLSCAN_REQUIRE_ALL (set by `make sample` and `make test`, which need every
# part) the message is an error instead.
function(slscan_report_skipped)
  get_property(parts GLOBAL PROPERTY SLSCAN_SKIPPED_PARTS)
  get_property(packages GLOBAL PROPERTY SLSCAN_MISSING_PACKAGES)
  if(NOT parts)
    return()
  endif()
  list(REMOVE_DUPLICATES packages)
  string(REPLACE ";" " " packages "${packages}")
  string(REPLACE ";" "\n  " parts "${parts}")
  set(text "Not built, a library is missing:\n  ${parts}\n"
           "Install the missing Debian packages (or run tools/setup.sh):\n"
           "  sudo apt-get install --no-install-recommends ${packages}\n")
  if(SLSCAN_REQUIRE_ALL)
    message(FATAL_ERROR ${text})
  else()
    message(WARNING ${text} "slscan itself is built.")
  endif()
endfunction()
