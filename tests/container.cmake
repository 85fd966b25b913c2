# The movie file reader and the picture writer. Both are platform-free and
# are tested natively (with sanitizers) and in the Windows build. The
# engine's own CMakeLists adds the two libraries; where it does not (native
# builds), they are added here.
foreach(lib container picture)
  if(NOT TARGET vmedia_${lib})
    add_subdirectory(${PROJECT_SOURCE_DIR}/engine/${lib} ${CMAKE_BINARY_DIR}/engine/${lib})
  endif()
endforeach()

vantoro_test(container_parse_test SOURCES container_parse_test.cpp LIBS vmedia_container)
vantoro_test(sound_packets_test SOURCES sound_packets_test.cpp LIBS vmedia_container)
vantoro_test(pict_writer_test SOURCES pict_writer_test.cpp LIBS vmedia_picture)

# Real files made by ffmpeg at build time, with ffprobe's view of each.
set(VANTORO_MEDIA_DIR ${CMAKE_BINARY_DIR}/media)
find_program(VANTORO_FFMPEG ffmpeg REQUIRED)
find_program(VANTORO_FFPROBE ffprobe REQUIRED)
add_custom_command(OUTPUT ${VANTORO_MEDIA_DIR}/stamp
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/media/make_media.sh ${VANTORO_MEDIA_DIR}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/media/make_media.sh ${CMAKE_CURRENT_SOURCE_DIR}/media/mjpegb_movie.py
    ${CMAKE_CURRENT_SOURCE_DIR}/media/huge_samples.py ${CMAKE_CURRENT_SOURCE_DIR}/media/make_walk_media.sh
  COMMENT "Making test media with ffmpeg")
add_custom_target(vantoro_test_media ALL DEPENDS ${VANTORO_MEDIA_DIR}/stamp)
vantoro_test(container_media_test SOURCES container_media_test.cpp LIBS vmedia_container)
vantoro_test(frame_walk_test SOURCES frame_walk_test.cpp LIBS vmedia_container)
foreach(t container_media_test frame_walk_test)
  add_dependencies(${t} vantoro_test_media)
  if(WIN32)
    # Wine maps the Unix root to drive Z:.
    target_compile_definitions(${t} PRIVATE VANTORO_MEDIA_DIR="Z:${VANTORO_MEDIA_DIR}")
  else()
    target_compile_definitions(${t} PRIVATE VANTORO_MEDIA_DIR="${VANTORO_MEDIA_DIR}")
  endif()
endforeach()

# ImageMagick's reader checks the pictures natively (the test shells out).
if(NOT WIN32)
  find_program(VANTORO_CONVERT NAMES magick convert REQUIRED)
  target_compile_definitions(pict_writer_test PRIVATE VANTORO_CONVERT="${VANTORO_CONVERT}")
endif()
