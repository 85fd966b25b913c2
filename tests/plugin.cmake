# The plug-in as the host sees it: Vantoro.fmx driven by the stand-in host,
# with the scripted test engine bound as QuickTime.qts beside the tests.
if(WIN32)
  vantoro_test(parameters_test SOURCES parameters_test.cpp LIBS vantoro_core vantoro_standin)

  foreach(t entry_test play_test session_test window_proc_test host_window_test transport_test
            frame_capture_test)
    vantoro_test(${t} SOURCES ${t}.cpp LIBS vantoro_standin version)
    add_dependencies(${t} Vantoro testengine_qts)
    # Tests that use the clipboard or the foreground window must not overlap.
    set_tests_properties(${t} PROPERTIES RESOURCE_LOCK desktop)
  endforeach()
endif()

# The entry point linked into the test itself, with the test's own function
# in the empty slot: nested calls and the argument text's lock.
if(WIN32)
  vantoro_test(dispatch_test SOURCES dispatch_test.cpp LIBS vantoro_core vantoro_standin)
endif()
