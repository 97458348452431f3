# Each effect routine on 1024-frame blocks, in frames per second.
add_executable(effects_bench effects_bench.cpp)
target_link_libraries(effects_bench PRIVATE musicdisk_player benchmark::benchmark)
