# The call gate, its loader and the scripted test engine.
vantoro_test(gate_param_block_test
  SOURCES gate_param_block_test.cpp
  LIBS vantoro_portable)

if(WIN32)
  # Bound at the first operation to bin/QuickTime.qts, the test engine.
  vantoro_test(gate_entries_test SOURCES gate_entries_test.cpp LIBS vantoro_core)
  vantoro_test(testengine_operations_test SOURCES testengine_operations_test.cpp LIBS vantoro_core)
  foreach(t gate_entries_test testengine_operations_test)
    add_dependencies(${t} testengine_qts)
  endforeach()

  # Binding is once per process and the loader looks beside the program, so
  # these live in folders of their own and copy engines in as they go.
  function(gate_isolated_test name folder)
    vantoro_test(${name} SOURCES ${name}.cpp LIBS vantoro_core)
    add_dependencies(${name} testengine_qts testengine_partial testengine_own)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${folder})
    set_tests_properties(${name} PROPERTIES
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${folder} RESOURCE_LOCK gate_registry)
  endfunction()
  foreach(t gate_unbound_test:gate-unbound gate_locate_test:gate-locate gate_own_engine_test:gate-own)
    string(REPLACE ":" ";" t ${t})
    list(GET t 0 name)
    list(GET t 1 folder)
    gate_isolated_test(${name} ${folder})
  endforeach()

  # One process per case: each binds once.
  set_tests_properties(gate_own_engine_test PROPERTIES
    ENVIRONMENT "GTEST_FILTER=OwnEngine.BoundWhenNoQuickTimeIsFound")
  add_test(NAME gate_own_engine_after_partial_test
    COMMAND gate_own_engine_test --gtest_brief=1 --gtest_filter=OwnEngine.BoundWhenQuickTimeLacksAnExport)
  set_tests_properties(gate_own_engine_after_partial_test PROPERTIES
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin/gate-own RESOURCE_LOCK gate_registry)
endif()
