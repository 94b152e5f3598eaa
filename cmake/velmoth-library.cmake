# Every source folder is a library of its own, standing in layers: a folder's
# headers are reachable, as "<folder>/<header>.h", only through an include root
# made for that library in the build tree, so a library sees the headers of the
# libraries it links and no others. An include against the layers does not compile.

# Keeps the sources of this platform: *_posix.cpp only off Windows, *_win32.cpp only on it.
function(velmoth_platform_sources variable)
  set(sources ${${variable}})
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix(_test)?\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32(_test)?\\.cpp$")
  endif()
  set(${variable} ${sources} PARENT_SCOPE)
endfunction()

# velmoth_library(TARGET FOLDER [SOURCES file...] [DEPENDS target...])
# FOLDER is the folder under src/ ("queue", "app/qt"); without SOURCES every .cpp
# file of the folder, for this platform, is built.
function(velmoth_library target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SOURCES;DEPENDS")
  set(dir ${PROJECT_SOURCE_DIR}/src/${folder})
  if(arg_SOURCES)
    set(sources ${arg_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    velmoth_platform_sources(sources)
  endif()

  set(root ${PROJECT_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
  endforeach()

  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${arg_DEPENDS})
  # The coverage libFuzzer steers by, in the code the fuzz targets drive.
  if(VELMOTH_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  if(WIN32)
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                _WIN32_WINNT=0x0A00)
  endif()
endfunction()
