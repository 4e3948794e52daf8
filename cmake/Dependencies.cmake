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
# A request's path nests more coroutine frames than asio's default two
# recycled blocks a thread, so most frames went to the heap. Like the
# allocator, it changes a per-thread layout: every file must agree.
target_compile_definitions(asio INTERFACE ASIO_RECYCLING_ALLOCATOR_CACHE_SIZE=8)
target_link_libraries(asio INTERFACE Threads::Threads)

if(LUMENARY_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()

# libical reads and writes the calendar and reminder items; only the
# platform library links it.
pkg_check_modules(LIBICAL REQUIRED IMPORTED_TARGET libical)

# SQLite reads the messages database; only the platform library links it
# (and the tests and benchmarks that build such a database).
find_package(SQLite3 REQUIRED)
# The desktop layers: the accessibility bus (libatspi, over libdbus) and the
# X server's XTest extension. Only the desktop platform library links them.
pkg_check_modules(ATSPI REQUIRED IMPORTED_TARGET atspi-2 dbus-1 gobject-2.0)
pkg_check_modules(XTEST REQUIRED IMPORTED_TARGET x11 xtst)
# GDBus talks to the desktop's music players (MPRIS); only the platform
# library links it.
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)

# The vision worker's libraries. Debian's OpenCV module packages ship neither
# a CMake package nor a pkg-config file (those come with the meta-package,
# which drags in far more than these four modules), so the modules are
# found by hand. Only the vision worker library, its tests and its benchmark
# link them; dnn runs the networks of the vision worker (lumenary-vision).
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
add_library(opencv_modules INTERFACE)
target_include_directories(opencv_modules SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
foreach(module core imgproc imgcodecs dnn)
  find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
  target_link_libraries(opencv_modules INTERFACE ${OPENCV_${module}_LIBRARY})
endforeach()
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
pkg_check_modules(ZXING REQUIRED IMPORTED_TARGET zxing)
pkg_check_modules(LIBHEIF REQUIRED IMPORTED_TARGET libheif)
# Video files: demuxing, decoding and conversion to RGB in the worker; the
# vision tests write their videos with the same libraries.
pkg_check_modules(LIBAV REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
# Face detection and landmarks; its model comes with libdlib-data. dlib's
# pkg-config file lists BLAS and LAPACK (which its headers call, built as
# they were configured) as link options ahead of the objects, where the
# linker has nothing to resolve with them yet, so they are named here.
find_library(DLIB_LIBRARY dlib REQUIRED)
find_library(LAPACK_LIBRARY lapack REQUIRED)
find_library(BLAS_LIBRARY blas REQUIRED)
add_library(dlib_library INTERFACE)
target_link_libraries(dlib_library INTERFACE ${DLIB_LIBRARY} ${LAPACK_LIBRARY} ${BLAS_LIBRARY})
# The vision tests draw text with FreeType.
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
# The panel: Qt Quick with the tray icon's widgets. Only the panel library
# (src/app/ui), the program and the panel's tests link it. Found here so its
# targets are seen everywhere.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Qml Quick)
