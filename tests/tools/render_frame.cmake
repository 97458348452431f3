# render-frame, run as a program on the shipped pictures of the build tree.
if(TARGET render-frame AND TARGET datas)
  find_package(PNG REQUIRED)
  musicdisk_add_test(render_frame_test ${CMAKE_CURRENT_LIST_DIR}/render_frame_test.cpp
    LIBS musicdisk_visuals musicdisk_bmpwriter PNG::PNG)
  target_compile_definitions(render_frame_test PRIVATE RENDER_FRAME="$<TARGET_FILE:render-frame>")
  add_dependencies(render_frame_test render-frame datas)
endif()
