# The Windows packages, made by the target velmoth_packages in packages/ of this
# build: Velmoth-<version>-x64.msi, built by wixl, and Velmoth-<version>-win64.zip,
# both holding the two stripped .exe files, velmoth-queue's PowerShell completion
# and the README.
find_program(VELMOTH_WIXL wixl REQUIRED)
find_program(VELMOTH_MSIBUILD msibuild REQUIRED)

set(packages ${PROJECT_BINARY_DIR}/packages)
set(folder Velmoth-${VELMOTH_VERSION}-win64)
set(msi ${packages}/Velmoth-${VELMOTH_VERSION}-x64.msi)
set(zip ${packages}/${folder}.zip)
set(wxs ${PROJECT_SOURCE_DIR}/packaging/windows/velmoth.wxs)
set(readme ${PROJECT_SOURCE_DIR}/README.md)
add_custom_command(
  OUTPUT ${msi} ${zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${packages}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${packages}/${folder}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmoth> $<TARGET_FILE:velmoth-queue> ${readme}
          ${VELMOTH_POWERSHELL_COMPLETION} ${packages}/${folder}
  COMMAND ${CMAKE_STRIP} ${packages}/${folder}/velmoth.exe ${packages}/${folder}/velmoth-queue.exe
  COMMAND ${CMAKE_COMMAND} -E chdir ${packages} ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip
          ${folder}
  COMMAND ${CMAKE_COMMAND} -DWIXL=${VELMOTH_WIXL} -DMSIBUILD=${VELMOTH_MSIBUILD} -DWXS=${wxs}
          -DFILES=${packages}/${folder} -DICON=${VELMOTH_ICON_ICO}
          -DVERSION=${PROJECT_VERSION} -DFULL_VERSION=${VELMOTH_VERSION} -DOUTPUT=${msi}
          -P ${CMAKE_CURRENT_LIST_DIR}/velmoth-msi.cmake
  DEPENDS velmoth velmoth-queue ${readme} ${wxs} ${VELMOTH_ICON_ICO} ${VELMOTH_POWERSHELL_COMPLETION}
          ${CMAKE_CURRENT_LIST_DIR}/velmoth-msi.cmake
  COMMENT "Packing Velmoth ${VELMOTH_VERSION} for Windows" VERBATIM)
add_custom_target(velmoth_packages DEPENDS ${msi} ${zip})
add_dependencies(velmoth_packages velmoth_completion)
