# Faults from outside the plug-in: host memory, the engine failing at each
# operation, the clipboard held by another process, no engine at all, and
# awkward paths with the real media engine.
if(WIN32)
  add_executable(clipboard_holder clipboard_holder.cpp)

  vantoro_test(faults_test SOURCES faults_test.cpp LIBS vantoro_standin version)
  add_dependencies(faults_test Vantoro testengine_qts clipboard_holder)
  set_tests_properties(faults_test PROPERTIES RESOURCE_LOCK desktop)
endif()

if(WIN32)
  # The plug-in alone in a folder: no engine beside it, then one copied in
  # while it runs. Binding is once per process, and the registry is shared
  # with the gate's own tests.
  set(missing_dir ${CMAKE_BINARY_DIR}/bin/engine-missing)
  vantoro_test(engine_missing_test SOURCES engine_missing_test.cpp LIBS vantoro_standin version)
  set_target_properties(engine_missing_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${missing_dir})
  add_dependencies(engine_missing_test Vantoro testengine_qts testengine_partial)
  add_custom_command(TARGET engine_missing_test POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Vantoro> ${missing_dir})
  set_tests_properties(engine_missing_test PROPERTIES
    WORKING_DIRECTORY ${missing_dir} RESOURCE_LOCK "gate_registry;desktop")
endif()

# Awkward paths with the plug-in and our media engine, in a folder of their
# own as a user installs them.
if(WIN32)
  vantoro_test(paths_test SOURCES paths_test.cpp LIBS vantoro_standin version)
  vantoro_beside_plugin(paths_test ${CMAKE_BINARY_DIR}/bin/paths)
endif()
