# What a listener hears: the plug-in and the media engine in the stand-in
# host, with a Wine prefix that plays through the build's own PulseAudio
# server (scripts/test starts it and makes the prefix), recorded from the
# server's null sink.
if(WIN32)
  add_test(NAME sound_heard
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sound_heard.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  # One sound server: not beside another test that plays sound.
  set_tests_properties(sound_heard PROPERTIES RESOURCE_LOCK sound)
endif()
