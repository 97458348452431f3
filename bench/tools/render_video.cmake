# render-video's speed at 640 x 480, 60 frames per second, beside the bare
# draw_scene loop of frame_bench in the same run, and the size of a 30 s
# capture. A script: it times two programs, run from the build tree.
if(TARGET render-video AND TARGET frame_bench)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/render_video_bench.py ${CMAKE_CURRENT_BINARY_DIR}/render_video_bench
    COPYONLY)
endif()
