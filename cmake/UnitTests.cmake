# lumenary_unit_tests builds the unit test programs and whatever they start,
# and nothing else: the sanitizer run (scripts/test) needs no benchmark,
# interop driver or desktop end-to-end program.
add_custom_target(lumenary_unit_tests)

# lumenary_unit_test_program(TARGET): TARGET holds tests labelled "unit";
# the programs it starts are its own dependencies (add_dependencies).
function(lumenary_unit_test_program target)
  add_dependencies(lumenary_unit_tests ${target})
endfunction()
