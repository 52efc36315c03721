# Fails when PROGRAM links a Qt library, itself or through another library:
#   cmake -DPROGRAM=<path> -P links_no_qt.cmake
file(GET_RUNTIME_DEPENDENCIES EXECUTABLES "${PROGRAM}"
     RESOLVED_DEPENDENCIES_VAR resolved UNRESOLVED_DEPENDENCIES_VAR unresolved)
set(qt ${resolved} ${unresolved})
list(FILTER qt INCLUDE REGEX "Qt[0-9]")
if(qt)
  message(FATAL_ERROR "${PROGRAM} links Qt: ${qt}")
endif()
list(LENGTH resolved count)
message(STATUS "${PROGRAM} links ${count} libraries, none of Qt: ${resolved}")
