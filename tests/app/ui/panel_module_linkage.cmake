# cmake -DCHECK=<check> -DPROGRAM=<lumenary> -DMODULE=<lumenary-panel.so> -DNM=<nm> -P panel_module_linkage.cmake
#
# How the program and its panel module are linked, checked on the built
# files:
#   program_maps_no_qt       the program, with everything it loads at exec,
#                            maps no Qt library: Qt comes with the module;
#   module_holds_no_core     the module defines no core symbol of its own
#                            beyond inline and template copies, which bind to
#                            the program's: the core's state exists once.
if(CHECK STREQUAL "program_maps_no_qt")
  execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "ldd could not list the libraries of ${PROGRAM}: ${errors}")
  endif()
  string(REGEX MATCHALL "libQt[^ ]*" qt_libraries "${libraries}")
  list(REMOVE_DUPLICATES qt_libraries)
  if(qt_libraries)
    message(FATAL_ERROR "${PROGRAM} maps Qt at exec: ${qt_libraries}")
  endif()
elseif(CHECK STREQUAL "module_holds_no_core")
  execute_process(COMMAND ${NM} --dynamic --defined-only --demangle ${MODULE}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} could not list the symbols of ${MODULE}: ${errors}")
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  set(core_definitions "")
  foreach(line IN LISTS lines)
    # Weak ("W", "V") and unique ("u") definitions are the ones the program's
    # own take the place of; any other is code or data of the module's own.
    if(line MATCHES "^[0-9a-f]+ [^WVwvu] (vtable for |typeinfo for |typeinfo name for |VTT for |guard variable for )?(.*)$")
      set(name "${CMAKE_MATCH_2}")
      if(name MATCHES "^lumenary::" AND NOT name MATCHES "^lumenary::app::ui::")
        string(APPEND core_definitions "\n  ${line}")
      endif()
    endif()
  endforeach()
  if(core_definitions)
    message(FATAL_ERROR "${MODULE} defines core symbols of its own, a second copy of the core:${core_definitions}")
  endif()
else()
  message(FATAL_ERROR "unknown check '${CHECK}'")
endif()
