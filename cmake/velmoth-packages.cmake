# The packages operators install, made by the target velmoth_packages in packages/
# of the build: on Linux a .deb, whose tests join the Linux build's tests and try
# the Windows build's packages too; on Windows an MSI and a zip.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/velmoth-windows-packages.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/velmoth-deb.cmake)
  # The sanitize build's programs are not what operators get: their packages go untested.
  if(BUILD_TESTING AND NOT VELMOTH_SANITIZE)
    include(${PROJECT_SOURCE_DIR}/tests/package/package_tests.cmake)
  endif()
endif()
