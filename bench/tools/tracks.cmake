# How long composing and encoding the twelve modules takes (the build runs
# it every time the generator changes; the budget is 5 s for all twelve).
add_executable(tracks_bench ${CMAKE_CURRENT_LIST_DIR}/tracks_bench.cpp)
target_link_libraries(tracks_bench PRIVATE musicdisk_tracks benchmark::benchmark)
