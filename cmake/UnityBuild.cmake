# Unity builds: the libraries and the test programs compile their sources in
# batches, so asio, the JSON coder and (in the tests) GoogleTest are parsed,
# and the templates they instantiate are compiled, once a batch instead of
# once a file. It halves the test programs' build and cuts the libraries' by
# two fifths. Two files of one target may share a translation unit: names
# in their anonymous namespaces must differ across the target, a file-scope
# using-directive reaches the files after it (name a namespace through an
# alias instead), and a bare testing:: may meet a neighbour's
# lumenary::<layer>::testing (write lumenary::testing:: for the shared
# support). A file with options of its own stays out of the batches
# (SKIP_UNITY_BUILD_INCLUSION). A batch size of 0 puts every file of a
# target in one batch and shows every such clash at once.
option(LUMENARY_UNITY_BUILD "Compile the libraries and test programs in batches of sources" ON)
set(LUMENARY_UNITY_BATCH_SIZE 8 CACHE STRING "Sources in one unity batch (0: all of a target's)")

function(lumenary_unity target)
  if(LUMENARY_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${LUMENARY_UNITY_BATCH_SIZE})
    # GCC takes a batch's sources for headers and warns of every coroutine
    # frame or lambda that holds a type local to its file, as it would in a
    # header that could break the one-definition rule; a source is no header.
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  endif()
endfunction()
