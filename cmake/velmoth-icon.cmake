# Renders Velmoth's icon, packaging/velmoth.svg, to a PNG at each size the desktop
# asks for and, for Windows, packs those into velmoth.ico: all in VELMOTH_ICON_DIR,
# made by the target velmoth_icon_files.
find_program(VELMOTH_RSVG_CONVERT rsvg-convert REQUIRED)
set(VELMOTH_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/velmoth.svg)
set(VELMOTH_ICON_DIR ${PROJECT_BINARY_DIR}/icon)
set(VELMOTH_ICON_SIZES 16 24 32 48 64 128 256)

set(VELMOTH_ICON_PNGS)
foreach(size IN LISTS VELMOTH_ICON_SIZES)
  set(png ${VELMOTH_ICON_DIR}/velmoth-${size}.png)
  # Ninja makes an output's folder; the Makefile generators leave that to the rule.
  add_custom_command(OUTPUT ${png}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMOTH_ICON_DIR}
                     COMMAND ${VELMOTH_RSVG_CONVERT} --width ${size} --height ${size}
                             --output ${png} ${VELMOTH_ICON_SVG}
                     DEPENDS ${VELMOTH_ICON_SVG} VERBATIM)
  list(APPEND VELMOTH_ICON_PNGS ${png})
endforeach()
set(icon_files ${VELMOTH_ICON_PNGS})

if(WIN32)
  # Windows' own sizes as bitmaps; 256 as PNG, as Windows keeps that size.
  find_program(VELMOTH_ICOTOOL icotool REQUIRED)
  set(VELMOTH_ICON_ICO ${VELMOTH_ICON_DIR}/velmoth.ico)
  set(icotool_arguments)
  foreach(size 16 24 32 48 64)
    list(APPEND icotool_arguments ${VELMOTH_ICON_DIR}/velmoth-${size}.png)
  endforeach()
  add_custom_command(OUTPUT ${VELMOTH_ICON_ICO}
                     COMMAND ${VELMOTH_ICOTOOL} --create --output ${VELMOTH_ICON_ICO}
                             ${icotool_arguments} --raw ${VELMOTH_ICON_DIR}/velmoth-256.png
                     DEPENDS ${VELMOTH_ICON_PNGS} VERBATIM)
  list(APPEND icon_files ${VELMOTH_ICON_ICO})
endif()

add_custom_target(velmoth_icon_files DEPENDS ${icon_files})
