# The log's Windows tests read the message table from both built programs, found
# from the test program's own place in the build tree.
if(WIN32)
  add_dependencies(log_tests velmoth velmoth-queue)
  file(RELATIVE_PATH velmoth_exe ${CMAKE_CURRENT_BINARY_DIR}
       ${PROJECT_BINARY_DIR}/src/app/win32/velmoth.exe)
  file(RELATIVE_PATH velmoth_queue_exe ${CMAKE_CURRENT_BINARY_DIR}
       ${PROJECT_BINARY_DIR}/src/cli/velmoth-queue.exe)
  target_compile_definitions(log_tests PRIVATE VELMOTH_EXE="${velmoth_exe}"
                                               VELMOTH_QUEUE_EXE="${velmoth_queue_exe}")
endif()
