if(LUMENARY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # asio looks for clang's coroutines in <experimental/coroutine>, which
  # libstdc++ does not have; its <coroutine> serves clang 14 as well.
  add_compile_definitions(ASIO_HAS_CO_AWAIT=1)
  # libstdc++ 12 gives clang 14 no std::source_location; the fuzz build
  # supplies one.
  add_compile_options(-include ${PROJECT_SOURCE_DIR}/fuzz/compat/source_location.hpp)
endif()
if(LUMENARY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LUMENARY_FUZZ needs clang (scripts/fuzz sets it up)")
  endif()
  # Coverage for the fuzzer in every library under test; the fuzz targets
  # link libFuzzer itself. Undefined behaviour stops the run like a crash.
  # The check of calls through function pointers is left out: clang 14
  # cannot emit its data for coroutines ("cannot represent a difference
  # across sections").
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # asio looks for clang's coroutines in <experimental/coroutine>, which
  # libstdc++ does not have; its <coroutine> serves clang 14 as well.
  add_compile_definitions(ASIO_HAS_CO_AWAIT=1)
  # libstdc++ 12 gives clang 14 no std::source_location; the fuzz build
  # supplies one.
  add_compile_options(-include ${PROJECT_SOURCE_DIR}/fuzz/compat/source_location.hpp)
endif()
