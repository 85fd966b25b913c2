# Platform-free pieces: built for Windows and natively (with sanitizers).
vantoro_test(portable_test
  SOURCES timecode_test.cpp parameter_list_test.cpp
  LIBS vantoro_portable)

# The sound time stretcher. The engine's CMakeLists adds its library; native
# builds add it here.
if(NOT TARGET vmedia_audio)
  add_subdirectory(${PROJECT_SOURCE_DIR}/engine/audio ${CMAKE_BINARY_DIR}/engine/audio)
endif()
vantoro_test(time_stretch_test SOURCES time_stretch_test.cpp LIBS vmedia_audio)
