# Sessions started and ended thousands of ways through the plug-in and the
# media engine in the stand-in host, in a folder of its own beside copies of
# the plug-in and the engine.
if(WIN32)
  # A movie of a fraction of a second, for plays that run to their end.
  set(soak_media ${CMAKE_BINARY_DIR}/soak-media)
  add_custom_command(OUTPUT ${soak_media}/tiny.mp4
    COMMAND ${CMAKE_COMMAND} -E make_directory ${soak_media}
    COMMAND ${VANTORO_FFMPEG} -nostdin -hide_banner -loglevel error -y
      -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100
      -t 0.3 -c:v libx264 -preset veryfast -bf 2 -pix_fmt yuv420p -c:a aac ${soak_media}/tiny.mp4
    COMMENT "Making the soak test's tiny movie with ffmpeg")
  add_custom_target(vantoro_soak_media ALL DEPENDS ${soak_media}/tiny.mp4)

  vantoro_test(soak_test SOURCES soak_test.cpp soak_phases.cpp process_counts.cpp LIBS vantoro_standin psapi)
  vantoro_beside_plugin(soak_test ${CMAKE_BINARY_DIR}/bin/soak)
  target_compile_definitions(soak_test PRIVATE VANTORO_SOAK_MEDIA_DIR="Z:${soak_media}")
  add_dependencies(soak_test vantoro_soak_media)
endif()
