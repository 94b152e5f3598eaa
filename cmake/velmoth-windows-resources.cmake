# The resources both .exe files carry: the icon (the object library velmoth_icon,
# which the window tests link too), the event log's message table (the object
# library velmoth_event_messages, from src/log) and a version resource of each
# program's own, added by velmoth_exe_resources(TARGET DESCRIPTION).
enable_language(RC)

add_library(velmoth_icon OBJECT ${PROJECT_SOURCE_DIR}/packaging/windows/icon.rc)
target_include_directories(velmoth_icon PRIVATE ${VELMOTH_ICON_DIR})
set_source_files_properties(${PROJECT_SOURCE_DIR}/packaging/windows/icon.rc PROPERTIES
                            OBJECT_DEPENDS ${VELMOTH_ICON_ICO})
add_dependencies(velmoth_icon velmoth_icon_files)

function(velmoth_exe_resources target description)
  set(VELMOTH_FILE_NAME ${target})
  set(VELMOTH_FILE_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  target_link_libraries(${target} PRIVATE velmoth_icon velmoth_event_messages)
endfunction()
