# The plug-in, our media engine and the stand-in host together, in a folder
# of their own as a user installs them (no test engine beside them).
if(WIN32 AND TARGET VantoroMedia AND TARGET vantoro_test_media)
  set(e2e_dir ${CMAKE_BINARY_DIR}/bin/e2e)
  vantoro_test(end_to_end_test SOURCES end_to_end_test.cpp LIBS vantoro_core vantoro_standin)
  if(TARGET end_to_end_test)
    set_target_properties(end_to_end_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${e2e_dir})
    target_compile_definitions(end_to_end_test PRIVATE VANTORO_MEDIA_DIR="Z:${CMAKE_BINARY_DIR}/media")
    add_dependencies(end_to_end_test Vantoro VantoroMedia vantoro_test_media)
    add_custom_command(TARGET end_to_end_test POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Vantoro> $<TARGET_FILE:VantoroMedia> ${e2e_dir})
    set_tests_properties(end_to_end_test PROPERTIES
      WORKING_DIRECTORY ${e2e_dir} RESOURCE_LOCK desktop FIXTURES_SETUP e2e_pictures)
    add_test(NAME end_to_end_pictures
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/end_to_end_pictures.sh ${CMAKE_BINARY_DIR}/media)
    set_tests_properties(end_to_end_pictures PROPERTIES FIXTURES_REQUIRED e2e_pictures)
  endif()
endif()
