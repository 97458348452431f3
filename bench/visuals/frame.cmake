# Frames per second of draw_scene alone and of a loop that only clears and
# swaps, on a shown 640 x 480 window with the shipped pictures. Needs an X
# display (Xvfb will do); run from the build tree.
add_executable(frame_bench ${CMAKE_CURRENT_LIST_DIR}/frame_bench.cpp)
target_link_libraries(frame_bench PRIVATE musicdisk_visuals benchmark::benchmark)
