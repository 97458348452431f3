# The engine's mix against libopenmpt's own read, and its worst block while
# another thread churns.
if(TARGET musicdisk_modwriter)
  add_executable(engine_bench engine_bench.cpp)
  target_link_libraries(engine_bench PRIVATE musicdisk_player musicdisk_modwriter PkgConfig::OPENMPT
    benchmark::benchmark Threads::Threads)
endif()
