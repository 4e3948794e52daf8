# Warnings concern our own code only; third-party headers come in as system
# includes so their warnings never show. They are errors in the project's own
# checks (scripts/test turns LUMENARY_WERROR on), not in a user's or a
# packager's build, where a newer compiler's new warning must not stop it.
option(LUMENARY_WERROR "Treat the compiler's warnings in our own code as errors" OFF)
add_library(lumenary_warnings INTERFACE)
if(LUMENARY_WERROR)
  target_compile_options(lumenary_warnings INTERFACE -Werror)
endif()
target_compile_options(lumenary_warnings INTERFACE
  -Wall -Wextra -Wpedantic
  -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wimplicit-fallthrough
  # GCC 12 reports uninitialised members inside std::variant and
  # std::optional that the standard library does initialise.
  -Wno-maybe-uninitialized
  # GCC 12 at -O2 and above misreads std::string concatenation as
  # overlapping, oversized or out-of-bounds copies.
  -Wno-restrict
  -Wno-array-bounds
  -Wno-stringop-overflow
  -Wno-stringop-overread
  # GCC 12 misreads asio's coroutine-frame operator new/delete pair as
  # mismatched; the real pairing is fixed in Dependencies.cmake and checked
  # at run time by AddressSanitizer.
  -Wno-mismatched-new-delete)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # The GCC-only switches above mean nothing to clang.
  target_compile_options(lumenary_warnings INTERFACE -Wno-unknown-warning-option)
endif()
if(LUMENARY_FUZZ)
  # Warnings are policed by the GCC build; one that only clang reports must
  # not keep the fuzzers from running, whatever LUMENARY_WERROR says.
  target_compile_options(lumenary_warnings INTERFACE -Wno-error)
endif()
