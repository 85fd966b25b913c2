# Damaged movies through the plug-in and the media engine in the stand-in
# host, in a folder of its own beside copies of the plug-in and the engine.
include(${CMAKE_CURRENT_LIST_DIR}/beside_plugin.cmake)
if(WIN32 AND TARGET VantoroMedia AND TARGET vantoro_test_media)
  vantoro_test(hostile_media_test SOURCES hostile_media_test.cpp process_counts.cpp
    LIBS vantoro_standin psapi)
  if(TARGET hostile_media_test)
    vantoro_beside_plugin(hostile_media_test ${CMAKE_BINARY_DIR}/bin/hostile_media)
  endif()
endif()
