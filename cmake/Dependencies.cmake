# Every dependency is a Debian package that scripts/setup installs.
find_package(Threads REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(GTest REQUIRED)
find_package(CURL REQUIRED)
find_package(PkgConfig REQUIRED)
# Unicode case mapping for the platform layers' text searches.
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc)
# libcurl is opened at run time (libcurl4 provides libcurl.so.4); the build
# needs its headers only.
add_library(curl_headers INTERFACE)
target_include_directories(curl_headers SYSTEM INTERFACE ${CURL_INCLUDE_DIRS})

# Standalone asio is header-only and ships no CMake package.
find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
add_library(asio INTERFACE)
target_include_directories(asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
# Every file must pick the same coroutine-frame allocator; left alone, asio
# picks by whether a standard header came before its own.
target_compile_definitions(asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED ASIO_DISABLE_STD_ALIGNED_ALLOC)
target_link_libraries(asio INTERFACE Threads::Threads)

if(LUMENARY_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()

# libical reads and writes the calendar and reminder items; only the
# platform library links it.
pkg_check_modules(LIBICAL REQUIRED IMPORTED_TARGET libical)

# GDBus talks to the desktop's music players (MPRIS); only the platform
# library links it.
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
