# render-wav, run as a program on generated modules; its output is checked
# against the effect routines applied to the dry render afterwards.
if(TARGET render-wav AND TARGET musicdisk_modwriter)
  musicdisk_add_test(render_wav_test render_wav_test.cpp
    LIBS musicdisk_player musicdisk_modwriter PkgConfig::OPENMPT)
  target_compile_definitions(render_wav_test PRIVATE RENDER_WAV="$<TARGET_FILE:render-wav>")
  add_dependencies(render_wav_test render-wav)
endif()
