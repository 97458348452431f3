# The BMP writer that makes the pictures and the reader's fixtures.
musicdisk_add_test(bmpwriter_test ${CMAKE_CURRENT_LIST_DIR}/bmpwriter_test.cpp
  LIBS musicdisk_bmpwriter)
