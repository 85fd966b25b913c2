# Damaged movies through the plug-in and the media engine in the stand-in
# host, in a folder of its own beside copies of the plug-in and the engine.
if(WIN32)
  vantoro_test(hostile_media_test SOURCES hostile_media_test.cpp process_counts.cpp
    LIBS vantoro_standin psapi)
  vantoro_beside_plugin(hostile_media_test ${CMAKE_BINARY_DIR}/bin/hostile_media)
endif()
