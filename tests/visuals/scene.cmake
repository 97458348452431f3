musicdisk_add_test(scene_test ${CMAKE_CURRENT_LIST_DIR}/scene_test.cpp LIBS musicdisk_visuals musicdisk_bmpwriter)
