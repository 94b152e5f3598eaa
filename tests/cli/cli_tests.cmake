# velmoth-queue's tests also run the built program as a process, found beside the
# test program's own place in the build tree; on Windows the program is checked,
# like velmoth.exe, to import no DLL beside the system's.
add_dependencies(cli_tests velmoth-queue)
# Relative to the test program, in whichever configuration's folder each is built.
set(velmoth_queue_program
    "$<PATH:RELATIVE_PATH,$<TARGET_FILE:velmoth-queue>,$<TARGET_FILE_DIR:cli_tests>>")
target_compile_definitions(cli_tests PRIVATE VELMOTH_QUEUE_PROGRAM="${velmoth_queue_program}"
                                             VELMOTH_VERSION="${VELMOTH_VERSION}")

if(WIN32)
  find_program(VELMOTH_OBJDUMP NAMES ${CMAKE_CXX_COMPILER_TARGET}-objdump
               x86_64-w64-mingw32-objdump objdump)
  add_test(NAME windows.cli.VelmothQueueExeNeedsOnlySystemDlls
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VELMOTH_OBJDUMP}
                   -DPROGRAM=$<TARGET_FILE:velmoth-queue>
                   -P ${CMAKE_CURRENT_LIST_DIR}/../app/win32/system_dlls.cmake)
endif()
