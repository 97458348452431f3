# The IT/XM writer and the engine's fixture modules, checked through libopenmpt.
musicdisk_add_test(modwriter_test ${CMAKE_CURRENT_LIST_DIR}/modwriter_test.cpp
  LIBS musicdisk_modwriter PkgConfig::OPENMPT)
