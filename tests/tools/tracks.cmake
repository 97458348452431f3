# The twelve shipped modules, checked through libopenmpt.
musicdisk_add_test(tracks_test ${CMAKE_CURRENT_LIST_DIR}/tracks_test.cpp
  LIBS musicdisk_tracks PkgConfig::OPENMPT)
