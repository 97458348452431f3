# render-video, run as a program on the shipped datas/ of the build tree; its
# file is decoded with FFmpeg's own libraries and held against render-wav's
# sound and render-frame's pictures.
if(TARGET render-video AND TARGET render-wav AND TARGET render-frame AND TARGET datas)
  find_package(PNG REQUIRED)
  # Each capture keeps both cores busy: run alone, so that it neither
  # starves the timed end-to-end tests nor is starved by them.
  musicdisk_add_test(render_video_test ${CMAKE_CURRENT_LIST_DIR}/render_video_test.cpp
    LIBS PkgConfig::FFMPEG PNG::PNG PROPERTIES RUN_SERIAL TRUE)
  target_compile_definitions(render_video_test PRIVATE
    RENDER_VIDEO="$<TARGET_FILE:render-video>"
    RENDER_WAV="$<TARGET_FILE:render-wav>"
    RENDER_FRAME="$<TARGET_FILE:render-frame>")
  add_dependencies(render_video_test render-video render-wav render-frame datas)
endif()
