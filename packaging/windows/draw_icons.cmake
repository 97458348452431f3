# Draws the icon at every size the .ico holds. -DRENDER_FRAME, -DDATAS, -DOUT.
if(NOT EXISTS ${RENDER_FRAME})
  message(FATAL_ERROR "no render-frame at ${RENDER_FRAME}: build the Linux tree first (cmake --preset plain && cmake --build --preset plain), or set MUSICDISK_HOST_BUILD")
endif()
foreach(size 16 24 32 48 64 128 256)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env SDL_VIDEODRIVER=offscreen ${RENDER_FRAME} ${OUT}/icon-${size}.png
      --icon --size ${size}x${size} --tint 230,120,40 --datas ${DATAS}
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "render-frame could not draw the ${size} x ${size} icon")
  endif()
endforeach()
