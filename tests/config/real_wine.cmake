# The registry lookup against a prefix that Wine itself wrote: only where Wine runs
# the build's own programs. The prefix is kept in the build tree between runs.
find_program(VELMOTH_WINE wine)
if(VELMOTH_WINE AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  add_executable(real_wine_check ${CMAKE_CURRENT_LIST_DIR}/real_wine_check.cpp)
  target_link_libraries(real_wine_check PRIVATE velmoth_config GTest::gtest_main)
  add_test(NAME config.real_wine
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/real_wine_test.sh $<TARGET_FILE:real_wine_check>
                   ${CMAKE_BINARY_DIR}/wine-prefix)
  set_tests_properties(config.real_wine PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine_prefix)
endif()
