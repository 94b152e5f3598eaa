# Brings the tests of a Windows cross build (VELMOTH_WINDOWS_BUILD_DIR) into this
# build's CTest run, so that one run, with one summary, covers both builds.
set(windows_tests_file ${CMAKE_CURRENT_BINARY_DIR}/windows_tests.cmake)
file(WRITE ${windows_tests_file} "\
# Written by cmake/windows-tests.cmake: the Windows build's tests.
if(EXISTS \"${VELMOTH_WINDOWS_BUILD_DIR}/CTestTestfile.cmake\")
  subdirs(\"${VELMOTH_WINDOWS_BUILD_DIR}\")
else()
  add_test(windows.build \"${CMAKE_COMMAND}\" -E echo \"No Windows build in ${VELMOTH_WINDOWS_BUILD_DIR}\")
  set_tests_properties(windows.build PROPERTIES WILL_FAIL ON)
endif()
")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${windows_tests_file})
