# The audio engine against real libopenmpt, on the module writer's fixtures.
if(TARGET musicdisk_modwriter)
  musicdisk_add_test(engine_test engine_test.cpp
    LIBS musicdisk_player musicdisk_modwriter PkgConfig::OPENMPT)
endif()
