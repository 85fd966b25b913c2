# vantoro_beside_plugin(TEST DIR): TEST's binary runs from DIR, beside copies
# of the plug-in and the media engine (with its codec DLLs) as a user
# installs them, with the
# ffmpeg-made media (VANTORO_MEDIA_DIR). The copies are made again whenever
# either library is rebuilt, not only when the test is.
include_guard(GLOBAL)
function(vantoro_beside_plugin test dir)
  set_target_properties(${test} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
  target_compile_definitions(${test} PRIVATE VANTORO_MEDIA_DIR="Z:${CMAKE_BINARY_DIR}/media")
  add_custom_command(OUTPUT ${dir}/Vantoro.fmx ${dir}/VantoroMedia.dll
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Vantoro> $<TARGET_FILE:VantoroMedia> ${VANTORO_CODEC_DLLS} ${dir}
    DEPENDS Vantoro VantoroMedia)
  add_custom_target(${test}_libraries DEPENDS ${dir}/Vantoro.fmx ${dir}/VantoroMedia.dll)
  add_dependencies(${test} ${test}_libraries vantoro_test_media)
  # One desktop and one clipboard: not beside other window tests.
  set_tests_properties(${test} PROPERTIES WORKING_DIRECTORY ${dir} RESOURCE_LOCK desktop)
endfunction()
