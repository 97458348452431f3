# The sound effects: routines against worked frames and models, commands on
# the real engine with the module writer's fixtures.
if(TARGET musicdisk_modwriter)
  musicdisk_add_test(effects_test effects_test.cpp LIBS musicdisk_player musicdisk_modwriter)
  # The models must round each product on its own, like the routines.
  set_source_files_properties(effects_test.cpp PROPERTIES COMPILE_OPTIONS -ffp-contract=off)
endif()
