# Most of a translation unit's build time goes to parsing asio and the
# standard library; precompiling them once per target saves it.
set(LUMENARY_PRECOMPILED_HEADERS
  <asio/any_io_executor.hpp> <asio/awaitable.hpp> <asio/co_spawn.hpp> <asio/io_context.hpp>
  <asio/post.hpp> <asio/steady_timer.hpp> <asio/strand.hpp> <asio/use_awaitable.hpp>
  <functional> <map> <memory> <optional> <string> <string_view> <variant> <vector>)

function(lumenary_precompile target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  target_precompile_headers(${target} PRIVATE ${LUMENARY_PRECOMPILED_HEADERS} ${ARGN})
endfunction()
