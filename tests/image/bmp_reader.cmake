# The BMP reader, on fixtures made by the BMP writer.
musicdisk_add_test(bmp_reader_test ${CMAKE_CURRENT_LIST_DIR}/bmp_reader_test.cpp
  LIBS musicdisk_image musicdisk_bmpwriter)
