# The stand-in host and a small plug-in to drive it with.
if(WIN32)
  add_library(standin_fake_plugin MODULE
    standin_fake_plugin.cpp standin_fake_plugin.rc standin_fake_plugin.def)
  target_include_directories(standin_fake_plugin PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(standin_fake_plugin PRIVATE user32)
  set_target_properties(standin_fake_plugin PROPERTIES PREFIX "" SUFFIX ".fmx")

  vantoro_test(standin_test
    SOURCES standin_handles_test.cpp standin_plugin_test.cpp standin_windows_test.cpp
            standin_message_boxes_test.cpp standin_script_test.cpp
    LIBS vantoro_standin)
  add_dependencies(standin_test standin_fake_plugin)

  vantoro_test(standin_cli_test SOURCES standin_cli_test.cpp)
  add_dependencies(standin_cli_test standin_fake_plugin vantoro-host)
endif()
