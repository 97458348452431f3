# libFuzzer target for the BMP reader (clang only). The reader's sources are
# compiled into the target itself so that they carry coverage
# instrumentation. CTest runs it for a minute over a fresh copy of a seed
# corpus: the files of the reader test's layout test.
if(MUSICDISK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(WARNING "MUSICDISK_FUZZ needs clang; bmp_fuzz is not built")
  else()
    set(bmp_fuzz_flags -fsanitize=fuzzer)
    if(NOT MUSICDISK_SANITIZE)
      set(bmp_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
    endif()
    file(GLOB bmp_fuzz_reader_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/image/*.cpp)
    add_executable(bmp_fuzz ${CMAKE_CURRENT_LIST_DIR}/bmp_fuzz.cpp ${bmp_fuzz_reader_sources})
    target_compile_options(bmp_fuzz PRIVATE ${bmp_fuzz_flags})
    target_link_options(bmp_fuzz PRIVATE ${bmp_fuzz_flags})
    target_link_libraries(bmp_fuzz PRIVATE musicdisk_platform)

    set(bmp_fuzz_dir ${CMAKE_CURRENT_BINARY_DIR}/bmp_fuzz_run)
    add_test(NAME bmp_fuzz
      COMMAND sh -c "rm -rf seeds corpus && mkdir seeds && BMP_FUZZ_SEEDS=seeds '$<TARGET_FILE:bmp_reader_test>' --gtest_filter=BmpDecode.* >/dev/null && cp -R seeds corpus && '$<TARGET_FILE:bmp_fuzz>' -max_total_time=60 -timeout=30 -print_final_stats=1 corpus"
      WORKING_DIRECTORY ${bmp_fuzz_dir})
    file(MAKE_DIRECTORY ${bmp_fuzz_dir})
    set_tests_properties(bmp_fuzz PROPERTIES LABELS fuzz TIMEOUT 150)
  endif()
endif()
