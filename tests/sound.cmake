# What a listener hears: the plug-in and the media engine in the stand-in
# host, with a Wine prefix that plays through the build's own PulseAudio
# server (scripts/test starts it and makes the prefix), recorded from the
# server's null sink. One test per group of cases; the files are made by
# ffmpeg at build time.
if(WIN32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(VANTORO_SOUND_MEDIA ${CMAKE_BINARY_DIR}/sound-media)
  add_custom_command(OUTPUT ${VANTORO_SOUND_MEDIA}/stamp
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/sound_listen.py --make-media ${VANTORO_SOUND_MEDIA}
    COMMAND ${CMAKE_COMMAND} -E touch ${VANTORO_SOUND_MEDIA}/stamp
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/sound_listen.py ${CMAKE_CURRENT_SOURCE_DIR}/media/vbri_mp3.py
    COMMENT "Making the listening tests' files with ffmpeg")
  # The recorder runs on the Linux side, beside the sound server: built
  # natively, not for the target.
  find_program(VANTORO_NATIVE_CC NAMES cc gcc clang REQUIRED)
  set(VANTORO_RECORDER ${CMAKE_BINARY_DIR}/tools/pulse-recorder)
  add_custom_command(OUTPUT ${VANTORO_RECORDER}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tools
    COMMAND ${VANTORO_NATIVE_CC} -O2 -Wall -Wextra -o ${VANTORO_RECORDER}
      ${CMAKE_CURRENT_SOURCE_DIR}/pulse_recorder.c -lpulse-simple -lpulse
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pulse_recorder.c
    COMMENT "Building the sound recorder natively")
  add_custom_target(vantoro_sound_media ALL DEPENDS ${VANTORO_SOUND_MEDIA}/stamp ${VANTORO_RECORDER})
  # The judges themselves, on what a faultless and a faulty player would
  # let the sink hear: natively, no Wine.
  add_test(NAME sound_analysis_test
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/sound_analysis_test.py ${VANTORO_SOUND_MEDIA})
  foreach(group start stop rate volume loop formats)
    add_test(NAME sound_${group}
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sound_listen.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${group})
    # One sound server: never beside another test that plays sound.
    set_tests_properties(sound_${group} PROPERTIES RESOURCE_LOCK sound)
  endforeach()
  # How often the engine starts a stream on a real device: through the
  # plug-in, in the sound rig.
  add_executable(sound_starts_test sound_starts_test.cpp)
  target_link_libraries(sound_starts_test PRIVATE vantoro_standin gtest_main)
  target_include_directories(sound_starts_test PRIVATE ${CMAKE_SOURCE_DIR})
  add_test(NAME sound_starts_test
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/sound_rig.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}
      wine $<TARGET_FILE:sound_starts_test> --gtest_brief=1)
  vantoro_beside_plugin(sound_starts_test ${CMAKE_BINARY_DIR}/bin/sound_starts)
  set_tests_properties(sound_starts_test PROPERTIES RESOURCE_LOCK "sound;desktop")
endif()
