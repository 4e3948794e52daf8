# cmake -DMODULE=<panel module> -DOUTPUT=<file> -DNM=<nm> -P PanelCoreSymbols.cmake
#
# Writes the linker options that make the program define every core symbol
# the panel module leaves to it: the module's undefined symbols in the
# program's own namespace (the rest come from Qt and the C and C++
# runtimes, which the module links). Each one both pulls its archive member
# into the program and fails the link if no library defines it. The file is rewritten only when the list changes, so
# a change to the panel alone does not relink the program.
execute_process(COMMAND ${NM} --dynamic --undefined-only ${MODULE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not list the symbols of ${MODULE}: ${errors}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(options "")
foreach(line IN LISTS lines)
  # "U name"; weak references ("w") may stay unbound. A mangled name
  # within namespace lumenary spells it "8lumenary".
  if(line MATCHES "^ *U ([^@ ]*[^0-9@ ]8lumenary[^@ ]*)$")
    string(APPEND options "--require-defined=${CMAKE_MATCH_1}\n")
  endif()
endforeach()
file(WRITE ${OUTPUT}.new "${options}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
