# Velmoth's version, from the project's version number: VELMOTH_VERSION is that number
# alone at the release tag v<number> or without git (a source tarball), and otherwise
# <number>+<commits>.g<hash>, the commits since the last release tag (or since the first).

# The suffix of a checkout that is not at the release tag, empty when there is none.
function(velmoth_version_suffix result)
  set(${result} "" PARENT_SCOPE)
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  # Only the project's own repository counts, not one that a tarball was unpacked in.
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE top
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  file(REAL_PATH ${PROJECT_SOURCE_DIR} source)
  if(failed OR NOT EXISTS "${top}")
    return()
  endif()
  file(REAL_PATH ${top} top)
  if(NOT top STREQUAL source)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --long --abbrev=7
                          --match "v[0-9]*.[0-9]*.[0-9]*"
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE described
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(NOT failed AND described MATCHES "^v(.+)-([0-9]+)-g([0-9a-f]+)$")
    if(CMAKE_MATCH_1 STREQUAL PROJECT_VERSION AND CMAKE_MATCH_2 EQUAL 0)
      return()
    endif()
    set(${result} "+${CMAKE_MATCH_2}.g${CMAKE_MATCH_3}" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE commits
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE hash
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(commits AND hash)
    set(${result} "+${commits}.g${hash}" PARENT_SCOPE)
  endif()
endfunction()

# A new commit or checkout changes the suffix: CMake then configures again.
function(velmoth_watch_git_head)
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE git_dir
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  foreach(file HEAD logs/HEAD)
    if(git_dir AND EXISTS ${git_dir}/${file})
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                                                               ${git_dir}/${file})
    endif()
  endforeach()
endfunction()

# The time of the last commit in seconds since 1970, or now without git: the date
# that the packages' documents give.
function(velmoth_source_date result)
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE seconds
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT seconds MATCHES "^[0-9]+$")
    string(TIMESTAMP seconds "%s" UTC)
  endif()
  set(${result} ${seconds} PARENT_SCOPE)
endfunction()

# The four numbers of the .exe files' version resource, the commits since the
# release (from SUFFIX) the fourth.
function(velmoth_version_numbers suffix result)
  set(commits 0)
  if(suffix MATCHES "^\\+([0-9]+)\\.")
    set(commits ${CMAKE_MATCH_1})
    if(commits GREATER 65535)
      set(commits 65535)
    endif()
  endif()
  set(${result} "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${commits}"
      PARENT_SCOPE)
endfunction()

velmoth_version_suffix(velmoth_suffix)
velmoth_watch_git_head()
velmoth_source_date(VELMOTH_SOURCE_DATE)
set(VELMOTH_VERSION ${PROJECT_VERSION}${velmoth_suffix})
velmoth_version_numbers("${velmoth_suffix}" VELMOTH_VERSION_NUMBERS)
message(STATUS "Velmoth version ${VELMOTH_VERSION}")

# velmoth_version.h, for the programs that show the version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmoth_version.h.in
               ${PROJECT_BINARY_DIR}/include-roots/velmoth_version/velmoth_version.h @ONLY)
add_library(velmoth_version INTERFACE)
target_include_directories(velmoth_version INTERFACE
                           ${PROJECT_BINARY_DIR}/include-roots/velmoth_version)
