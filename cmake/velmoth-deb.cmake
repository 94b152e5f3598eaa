# The Linux package, velmoth_<version>_amd64.deb, made by CPack through the target
# velmoth_packages into packages/ of this build: the two programs, the desktop entry
# and icons (installed beside the window), the AppStream entry, the manual pages,
# velmoth-queue's bash completion and the Debian documents.
find_program(VELMOTH_HELP2MAN help2man REQUIRED)
find_program(VELMOTH_GZIP gzip REQUIRED)

# Dates in the documents: the last commit's, or today's without git.
set(ENV{SOURCE_DATE_EPOCH} ${VELMOTH_SOURCE_DATE})
string(TIMESTAMP VELMOTH_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP VELMOTH_COPYRIGHT_YEAR "%Y" UTC)
string(TIMESTAMP VELMOTH_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
unset(ENV{SOURCE_DATE_EPOCH})

set(VELMOTH_MAINTAINER "Velmoth developers <velmoth@example.org>"
    CACHE STRING "The Debian package's maintainer")
set(documents ${PROJECT_BINARY_DIR}/documents)

# Writes TEMPLATE with its @VARIABLES@ filled in to OUTPUT, less the comment lines
# (#) that it opens with.
function(velmoth_document template output)
  file(READ ${template} content)
  string(REGEX REPLACE "^(#[^\n]*\n)+" "" content "${content}")
  file(CONFIGURE OUTPUT ${output} CONTENT "${content}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${template})
endfunction()

# velmoth(1) as written; velmoth-queue(1) from the program's own --help.
configure_file(${PROJECT_SOURCE_DIR}/packaging/man/velmoth.1.in ${documents}/velmoth.1 @ONLY)
add_custom_command(
  OUTPUT ${documents}/velmoth-queue.1
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELMOTH_SOURCE_DATE}
          ${VELMOTH_HELP2MAN} --no-info --no-discard-stderr
          --name "list and requeue the messages a mail server parked in its Bad Mail directory"
          --include ${PROJECT_SOURCE_DIR}/packaging/man/velmoth-queue.h2m
          --output ${documents}/velmoth-queue.1 $<TARGET_FILE:velmoth-queue>
  DEPENDS velmoth-queue ${PROJECT_SOURCE_DIR}/packaging/man/velmoth-queue.h2m VERBATIM)

# The Debian changelog of a native package, and the copyright file.
velmoth_document(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${documents}/changelog)
velmoth_document(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${documents}/copyright)

# The AppStream entry that software centres list the window by.
set(VELMOTH_METAINFO ${documents}/org.example.velmoth.metainfo.xml)
velmoth_document(${PROJECT_SOURCE_DIR}/packaging/velmoth.metainfo.xml.in ${VELMOTH_METAINFO})
install(FILES ${VELMOTH_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Compressed as Debian wants them: at the best level, without a name or time stamp.
set(compressed)
foreach(document velmoth.1 velmoth-queue.1 changelog)
  add_custom_command(OUTPUT ${documents}/${document}.gz
                     COMMAND ${VELMOTH_GZIP} -9nf --keep ${documents}/${document}
                     DEPENDS ${documents}/${document} VERBATIM)
  list(APPEND compressed ${documents}/${document}.gz)
endforeach()
add_custom_target(velmoth_documents ALL DEPENDS ${compressed})

install(FILES ${documents}/velmoth.1.gz ${documents}/velmoth-queue.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${documents}/copyright ${documents}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmoth)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmoth)
set(CPACK_PACKAGE_VERSION ${VELMOTH_VERSION})
set(CPACK_PACKAGE_VENDOR Velmoth)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${VELMOTH_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMOTH_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window opens a message in the desktop's text viewer through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "requeue the mail server's parked messages")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Velmoth lists the messages that a Windows mail server, running under Wine,
has parked in its Bad Mail directory after their delivery finally failed,
and puts the chosen ones back into its SMTP outbound queue as messages never
tried. The velmoth window does it with a tick list; velmoth-queue does it
from a terminal or a script. The queue directories come from the server's
registry values in the Wine prefix.")
include(CPack)

# CPack installs the configuration being built: a multi-configuration build
# installs none unless told which.
add_custom_target(velmoth_packages
                  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CPACK_PACKAGE_DIRECTORY}
                  COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
                          "$<$<BOOL:$<CONFIG>>:-C;$<CONFIG>>"
                  COMMENT "Packing Velmoth ${VELMOTH_VERSION} for Debian" VERBATIM
                  COMMAND_EXPAND_LISTS)
add_dependencies(velmoth_packages velmoth velmoth-queue velmoth_documents velmoth_icon_files
                 velmoth_completion)
