# The plug-in, our media engine and the stand-in host together, in a folder
# of their own as a user installs them (no test engine beside them).
if(WIN32)
  vantoro_test(end_to_end_test SOURCES end_to_end_test.cpp LIBS vantoro_core vantoro_standin)
  vantoro_beside_plugin(end_to_end_test ${CMAKE_BINARY_DIR}/bin/e2e)
  set_tests_properties(end_to_end_test PROPERTIES FIXTURES_SETUP e2e_pictures)
  add_test(NAME end_to_end_pictures
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/end_to_end_pictures.sh ${CMAKE_BINARY_DIR}/media)
  set_tests_properties(end_to_end_pictures PROPERTIES FIXTURES_REQUIRED e2e_pictures)
endif()
# The same where Media Foundation is missing (Windows N editions): the engine
# loads without it, and our own codecs play every QuickTime-family movie.
if(WIN32)
  add_test(NAME end_to_end_without_media_foundation COMMAND end_to_end_test --gtest_brief=1)
  set_tests_properties(end_to_end_without_media_foundation PROPERTIES
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    ENVIRONMENT_MODIFICATION "WINEDLLOVERRIDES=string_append:\;mfplat,mfreadwrite=d")
endif()
