# Most of a translation unit's build time goes to parsing asio and the
# standard library; precompiling them once per target saves it.
set(LUMENARY_PRECOMPILED_HEADERS
  <asio/any_io_executor.hpp> <asio/awaitable.hpp> <asio/co_spawn.hpp> <asio/io_context.hpp>
  <asio/post.hpp> <asio/steady_timer.hpp> <asio/strand.hpp> <asio/use_awaitable.hpp>
  <functional> <map> <memory> <optional> <string> <string_view> <variant> <vector>)

# A target that compiles one translation unit (a one-file program, or a test
# program whose sources fit one unity batch) parses the headers once anyway:
# precompiling them would only add a compilation.
function(lumenary_precompile target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  list(LENGTH sources units)
  get_target_property(unity ${target} UNITY_BUILD)
  if(unity)
    get_target_property(batch ${target} UNITY_BUILD_BATCH_SIZE)
    if(batch EQUAL 0 OR units LESS_EQUAL batch)
      set(units 1)
    endif()
  endif()
  if(units LESS_EQUAL 1)
    return()
  endif()
  target_precompile_headers(${target} PRIVATE ${LUMENARY_PRECOMPILED_HEADERS} ${ARGN})
endfunction()
