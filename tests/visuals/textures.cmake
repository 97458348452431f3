musicdisk_add_test(textures_test ${CMAKE_CURRENT_LIST_DIR}/textures_test.cpp
  LIBS musicdisk_visuals musicdisk_bmpwriter)
