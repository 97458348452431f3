# Fills the folder the zip and the installer take, afresh, and writes the
# installer's script with its file list. -DSTAGE, -DPROGRAM, -DSTRIP,
# -DDATAS, -DDOCS, -DNSI_IN, -DNSI, -DICON, -DINSTALLER, -DMUSICDISK_NAME,
# -DMUSICDISK_VERSION.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/datas)
file(COPY ${PROGRAM} ${DOCS}/README.txt ${DOCS}/LICENSE.txt DESTINATION ${STAGE})
# Shipped without its symbols, as the Debian package's binaries are.
get_filename_component(program_name ${PROGRAM} NAME)
execute_process(COMMAND ${STRIP} ${STAGE}/${program_name} RESULT_VARIABLE stripped)
if(NOT stripped EQUAL 0)
  message(FATAL_ERROR "${STRIP} could not strip ${program_name}")
endif()
file(GLOB datas RELATIVE ${DATAS} ${DATAS}/*)
list(REMOVE_ITEM datas .stamp)
list(SORT datas)
set(uninstall_datas "")
set(size 0)
foreach(name ${datas})
  file(COPY ${DATAS}/${name} DESTINATION ${STAGE}/datas)
  string(APPEND uninstall_datas "  Delete \"$INSTDIR\\datas\\${name}\"\n")
endforeach()
file(GLOB_RECURSE staged ${STAGE}/*)
foreach(f ${staged})
  file(SIZE ${f} bytes)
  math(EXPR size "${size} + ${bytes}")
endforeach()
math(EXPR size_kib "(${size} + 1023) / 1024")
# makensis reads paths from Linux as they are.
set(stage ${STAGE})
set(icon ${ICON})
set(installer ${INSTALLER})
configure_file(${NSI_IN} ${NSI} @ONLY)
