# The packages tested as an operator gets them: the fixture package.make makes
# them with velmoth_packages in this build and the Windows build, then each test
# takes one apart, installs or runs it, and checks its version against this build's.
set(package_dir ${CMAKE_CURRENT_LIST_DIR})
set(deb ${PROJECT_BINARY_DIR}/packages/velmoth_${VELMOTH_VERSION}_amd64.deb)
set(windows_packages ${VELMOTH_WINDOWS_BUILD_DIR}/packages)
# The MSI and zip tests share a Wine prefix of their own, made on first use and kept.
set(package_prefix ${PROJECT_BINARY_DIR}/package-wineprefix)

add_test(NAME package.make COMMAND ${package_dir}/make_packages.sh ${CMAKE_COMMAND}
                                   ${PROJECT_BINARY_DIR} ${VELMOTH_WINDOWS_BUILD_DIR})
add_test(NAME package.deb COMMAND ${package_dir}/deb_test.sh ${deb} ${VELMOTH_VERSION}
                                  ${PROJECT_SOURCE_DIR})
add_test(NAME package.deb.lintian COMMAND ${package_dir}/lintian_test.sh ${deb})
set(tests package.make package.deb package.deb.lintian)
if(VELMOTH_WINDOWS_BUILD_DIR)
  add_test(NAME package.zip COMMAND ${package_dir}/zip_test.sh ${windows_packages}
                                    ${VELMOTH_VERSION} ${package_prefix})
  add_test(NAME package.msi COMMAND ${package_dir}/msi_test.sh ${windows_packages}
                                    ${VELMOTH_VERSION} ${PROJECT_VERSION} ${package_prefix})
  set_tests_properties(package.zip package.msi PROPERTIES RESOURCE_LOCK package_wine_prefix
                                                          TIMEOUT 600)
  # Wine's server for that prefix, which outlives each program a while, ends with
  # the run, before the display that its services hold does.
  add_test(NAME package.wine_stop COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${package_prefix}
                                          sh -c "wineserver -k 2>/dev/null || true")
  set_tests_properties(package.wine_stop PROPERTIES FIXTURES_CLEANUP packages
                                                    RESOURCE_LOCK package_wine_prefix)
  list(APPEND tests package.zip package.msi package.wine_stop)
endif()
set_tests_properties(${tests} PROPERTIES LABELS package)
set_tests_properties(package.make PROPERTIES FIXTURES_SETUP packages)
list(REMOVE_ITEM tests package.make package.wine_stop)
set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED packages)
