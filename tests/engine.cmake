# Tests of the media engine (engine/). The platform-free conversions build
# everywhere; the rest drives VantoroMedia.dll under Wine with media that
# ffmpeg makes at build time.
vantoro_test(engine_convert_test
  SOURCES engine_convert_test.cpp
    ${PROJECT_SOURCE_DIR}/engine/video/yuv.cpp ${PROJECT_SOURCE_DIR}/engine/video/orient.cpp ${PROJECT_SOURCE_DIR}/engine/video/sample_times.cpp
    ${PROJECT_SOURCE_DIR}/engine/playback/timeline.cpp
    ${PROJECT_SOURCE_DIR}/engine/playback/clock.cpp ${PROJECT_SOURCE_DIR}/engine/playback/sound_follow.cpp)
# The time line of a parsed movie or WAV file, from the test media.
vantoro_test(movie_timeline_test
  SOURCES movie_timeline_test.cpp
    ${PROJECT_SOURCE_DIR}/engine/playback/movie_timeline.cpp ${PROJECT_SOURCE_DIR}/engine/playback/timeline.cpp
    ${PROJECT_SOURCE_DIR}/engine/video/sample_times.cpp
  LIBS vmedia_container)
add_dependencies(movie_timeline_test vantoro_test_media)
if(WIN32)
  target_compile_definitions(movie_timeline_test PRIVATE VANTORO_MEDIA_DIR="Z:${VANTORO_MEDIA_DIR}")
else()
  target_compile_definitions(movie_timeline_test PRIVATE VANTORO_MEDIA_DIR="${VANTORO_MEDIA_DIR}")
endif()
# The rules by which picture and sound keep time, each beside its test.
vantoro_test(av_sync_test
  SOURCES av_sync_test.cpp ${PROJECT_SOURCE_DIR}/engine/playback/av_sync.cpp
    ${PROJECT_SOURCE_DIR}/engine/playback/clock.cpp ${PROJECT_SOURCE_DIR}/engine/playback/sound_follow.cpp
    ${PROJECT_SOURCE_DIR}/engine/playback/timeline.cpp ${PROJECT_SOURCE_DIR}/engine/video/sample_times.cpp)
foreach(rule sound_requests source_times device_time)
  vantoro_test(${rule}_test SOURCES ${rule}_test.cpp ${PROJECT_SOURCE_DIR}/engine/audio/${rule}.cpp)
endforeach()

# The engine's folders stand in layers; includes point down only.
if(NOT WIN32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME engine_layers_test
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/engine_layers_test.py ${PROJECT_SOURCE_DIR})
endif()

find_program(VANTORO_FFMPEG ffmpeg REQUIRED)
if(WIN32)
  set(media ${CMAKE_BINARY_DIR}/bin/engine-media)
  set(lavfi_av -f lavfi -i testsrc=size=320x240:rate=25,hue=h=t*360 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 2)
  set(ff ${VANTORO_FFMPEG} -nostdin -loglevel error -y)
  add_custom_command(OUTPUT ${media}/clip.mp4 ${media}/clip-faststart.mp4 ${media}/clip.mov
                            ${media}/clip.avi ${media}/tone.wav
                            ${media}/frame0.bgra ${media}/frame37.bgra ${media}/frame49.bgra
    COMMAND ${CMAKE_COMMAND} -E make_directory ${media}
    COMMAND ${ff} ${lavfi_av} -c:v libx264 -pix_fmt yuv420p -c:a aac ${media}/clip.mp4
    COMMAND ${ff} -i ${media}/clip.mp4 -c copy -movflags +faststart ${media}/clip-faststart.mp4
    COMMAND ${ff} ${lavfi_av} -c:v mjpeg -pix_fmt yuvj420p -q:v 3 -c:a pcm_s16be ${media}/clip.mov
    COMMAND ${ff} ${lavfi_av} -c:v mjpeg -pix_fmt yuvj420p -q:v 3 -c:a pcm_s16le ${media}/clip.avi
    COMMAND ${ff} -f lavfi -i sine=frequency=440:sample_rate=44100 -t 1.5 ${media}/tone.wav
    COMMAND ${ff} -i ${media}/clip.mp4 -vf "select=eq(n\\,0)" -frames:v 1 -f rawvideo -pix_fmt bgra ${media}/frame0.bgra
    COMMAND ${ff} -i ${media}/clip.mp4 -vf "select=eq(n\\,37)" -frames:v 1 -f rawvideo -pix_fmt bgra ${media}/frame37.bgra
    COMMAND ${ff} -i ${media}/clip.mp4 -vf "select=eq(n\\,49)" -frames:v 1 -f rawvideo -pix_fmt bgra ${media}/frame49.bgra
    VERBATIM)
  add_custom_target(engine_media DEPENDS ${media}/clip.mp4)

  # Parts of the engine linked from their sources, with the codec DLLs
  # beside the test (the library loads them from its module's folder).
  set(engine ${PROJECT_SOURCE_DIR}/engine)
  function(vantoro_codec_test name)
    vantoro_test(${name} ${ARGN})
    target_include_directories(${name} PRIVATE ${VANTORO_FFMPEG_DIR}/include)
    target_compile_definitions(${name} PRIVATE VANTORO_MEDIA_DIR="Z:${VANTORO_MEDIA_DIR}")
    add_dependencies(${name} vantoro_test_media)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VANTORO_CODEC_DLLS} $<TARGET_FILE_DIR:${name}>)
  endfunction()
  vantoro_codec_test(codec_sound_test
    SOURCES codec_sound_test.cpp ${engine}/audio/codec_sound.cpp ${engine}/audio/wave_sound.cpp ${engine}/audio/packet_sound.cpp
      ${engine}/platform/codec_library.cpp ${engine}/platform/codec_decoder.cpp ${engine}/platform/handle_source.cpp ${engine}/platform/media_file.cpp
    LIBS vmedia_container)
  vantoro_codec_test(codec_frames_test
    SOURCES codec_frames_test.cpp process_counts.cpp ${engine}/video/codec_frames.cpp ${engine}/video/picture_scaler.cpp
      ${engine}/platform/codec_library.cpp ${engine}/platform/codec_decoder.cpp ${engine}/platform/handle_source.cpp ${engine}/platform/media_file.cpp
    LIBS vmedia_core vmedia_container psapi)

  vantoro_test(engine_threads_test SOURCES engine_threads_test.cpp ${engine}/video/frame_queue.cpp ${engine}/platform/media_foundation.cpp
    LIBS mfuuid ole32 uuid)
  vantoro_test(engine_operations_test SOURCES engine_operations_test.cpp)
  vantoro_test(engine_playback_test SOURCES engine_playback_test.cpp LIBS winmm gdi32)
  foreach(t engine_operations_test engine_playback_test)
    add_dependencies(${t} VantoroMedia engine_media)
  endforeach()

  # One file of each container libavformat reads, with ffprobe's figures and
  # ffmpeg's decode beside it. Media Foundation under Wine decodes through
  # GStreamer, which a Windows PC lacks: off, so only our own engine plays.
  set(format_media ${CMAKE_BINARY_DIR}/bin/format-media)
  add_custom_command(OUTPUT ${format_media}/formats.txt
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/media/make_format_media.sh ${format_media}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/media/make_format_media.sh ${CMAKE_CURRENT_SOURCE_DIR}/media/amr_file.py
      ${CMAKE_CURRENT_SOURCE_DIR}/media/vbri_mp3.py ${CMAKE_CURRENT_SOURCE_DIR}/media/odml_avi.py VERBATIM)
  add_custom_target(format_media DEPENDS ${format_media}/formats.txt)
  vantoro_test(engine_formats_test SOURCES engine_formats_test.cpp)
  add_dependencies(engine_formats_test VantoroMedia format_media)
  set_tests_properties(engine_formats_test PROPERTIES
    ENVIRONMENT_MODIFICATION "WINEDLLOVERRIDES=string_append:\;winegstreamer=d")
  # Their sound against ffmpeg's decode, from the engine's sources.
  vantoro_codec_test(format_sound_test
    SOURCES format_sound_test.cpp ${engine}/audio/format_sound.cpp ${engine}/audio/codec_sound.cpp
      ${engine}/audio/packet_sound.cpp ${engine}/objects/format_timeline.cpp ${engine}/platform/format_input.cpp
      ${engine}/platform/codec_library.cpp ${engine}/platform/codec_decoder.cpp ${engine}/platform/handle_source.cpp
      ${engine}/platform/media_file.cpp
    LIBS vmedia_core vmedia_container)
  add_dependencies(format_sound_test format_media)
endif()
