# The BMP reader against stb_image on the same 4096 x 4096 files, with the
# machine's memcpy bandwidth measured in the same run for scale.
add_executable(bmp_reader_bench ${CMAKE_CURRENT_LIST_DIR}/bmp_reader_bench.cpp)
target_link_libraries(bmp_reader_bench PRIVATE musicdisk_image musicdisk_bmpwriter stb benchmark::benchmark)
