# lumenary_library(NAME DIR [DEPS ...] [EXCLUDING SUBDIR ...]): a static
# library from every source under src/DIR but those under src/SUBDIR (a
# folder that builds a library of its own), with src/ as its include root.
function(lumenary_library name dir)
  cmake_parse_arguments(PARSE_ARGV 2 library "" "" "EXCLUDING")
  set(dependencies ${library_UNPARSED_ARGUMENTS})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp)
  foreach(excluded IN LISTS library_EXCLUDING)
    list(FILTER sources EXCLUDE REGEX "^${PROJECT_SOURCE_DIR}/src/${excluded}/")
  endforeach()
  if(NOT sources)
    # A folder of headers only (or one not written yet) still links.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${dependencies})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${dependencies} PRIVATE lumenary_warnings)
  lumenary_precompile(${name})
endfunction()

# lumenary_tests(NAME DIR [DEPS ...]): one GoogleTest executable from every
# *_test.cpp under tests/DIR, registered with CTest.
function(lumenary_tests name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/tests/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest_main GTest::gmock lumenary_warnings)
  lumenary_precompile(${name} <gtest/gtest.h>)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
endfunction()
