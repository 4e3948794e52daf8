# Folders inside another library's folder that are libraries of their own
# (they need more than their parent may link), left out of the parent.
set(LUMENARY_SEPARATE_FOLDERS mcp/http_transport platform/desktop platform/vision/worker platform/music/tags app/tools/web)

function(lumenary_sources result root dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${root}/${dir}/*.cpp)
  foreach(separate IN LISTS LUMENARY_SEPARATE_FOLDERS)
    if(NOT dir STREQUAL separate)
      list(FILTER sources EXCLUDE REGEX "^${root}/${separate}/")
    endif()
  endforeach()
  set(${result} ${sources} PARENT_SCOPE)
endfunction()

# lumenary_library(NAME DIR [DEPS ...]): a static library from every source
# under src/DIR, with src/ as its include root, compiled in unity batches.
function(lumenary_library name dir)
  lumenary_sources(sources ${PROJECT_SOURCE_DIR}/src ${dir})
  if(NOT sources)
    # A folder of headers only (or one not written yet) still links.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN} PRIVATE lumenary_warnings)
  lumenary_unity(${name})
  lumenary_precompile(${name})
endfunction()

# lumenary_tests(NAME DIR [DEPS ...] [ACCURACY_SUITES] [ENVIRONMENT VAR=VALUE
# ...]): one GoogleTest executable from every *_test.cpp under tests/DIR,
# registered with CTest; each test runs with the given environment. With
# ACCURACY_SUITES, the suites named *Accuracy (how well an analysis reads
# a labelled set of images) carry the label "accuracy" instead of "unit":
# they run with the plain tests and not under the sanitizers, whose
# instrumentation slows them tenfold and tells nothing of what they measure.
# lumenary_test_code(TARGET): a test program's own sources compile
# unoptimised whatever the build type: the code under test comes optimised
# from the libraries it links, and optimising the tests' expanded
# assertions, matchers and mocks took half of every test program's build.
# Under the sanitizers, the test code leaves out three of the checks for
# undefined behaviour (null and misaligned pointers, dynamic types), which
# cost a third of its build: AddressSanitizer still stops on any bad access
# the tests make, and the libraries under test keep every check.
function(lumenary_test_code target)
  target_compile_options(${target} PRIVATE -O0)
  if(LUMENARY_SANITIZE)
    target_compile_options(${target} PRIVATE -fno-sanitize=null,alignment,vptr)
  endif()
endfunction()

function(lumenary_tests name dir)
  cmake_parse_arguments(PARSE_ARGV 2 arg "ACCURACY_SUITES" "" ENVIRONMENT)
  lumenary_sources(sources ${PROJECT_SOURCE_DIR}/tests ${dir})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${arg_UNPARSED_ARGUMENTS} GTest::gtest_main GTest::gmock lumenary_warnings)
  lumenary_test_code(${name})
  lumenary_unity(${name})
  lumenary_precompile(${name} <gtest/gtest.h>)
  set(environment)
  if(arg_ENVIRONMENT)
    set(environment ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
  if(arg_ACCURACY_SUITES)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-*Accuracy.*" PROPERTIES LABELS unit ${environment})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "*Accuracy.*" PROPERTIES LABELS accuracy ${environment})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit ${environment})
  endif()
  lumenary_unit_test_program(${name})
endfunction()
