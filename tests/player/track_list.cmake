# The keys through window_proc on the real engine, with tones from the module
# writer standing in for the twelve tracks.
if(TARGET musicdisk_modwriter)
  musicdisk_add_test(track_list_test track_list_test.cpp
    LIBS musicdisk_player musicdisk_modwriter PkgConfig::OPENMPT)
endif()
