# Puts the page and datas/ beside the program in the site folder, and lists
# datas/ in datas/files.txt, which the page fetches them by. -DSITE, -DPAGE,
# -DDATAS.
file(REMOVE_RECURSE ${SITE}/datas)
file(MAKE_DIRECTORY ${SITE}/datas)
file(COPY ${PAGE} DESTINATION ${SITE})
file(GLOB datas RELATIVE ${DATAS} ${DATAS}/*)
list(REMOVE_ITEM datas .stamp)
list(SORT datas)
list(LENGTH datas count)
if(NOT count EQUAL 16)
  message(FATAL_ERROR "${DATAS} holds ${count} files, not the disk's sixteen: run make-datas")
endif()
set(list "")
foreach(name ${datas})
  file(COPY ${DATAS}/${name} DESTINATION ${SITE}/datas)
  string(APPEND list "${name}\n")
endforeach()
file(WRITE ${SITE}/datas/files.txt "${list}")
