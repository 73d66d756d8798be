# The version's third field, the build number, grows with the source history: in a git checkout
# it is the number of commits up to HEAD, so that every later commit gives a higher version, and
# with it a new ProductCode for the package (derived from the version: the same sources, the same
# code). Outside a git checkout, or without git, it is TELMAR_BUILD_NUMBER (0 unless given), and
# the configure step says so. Included before project(), which takes the version.
if(DEFINED TELMAR_BUILD_NUMBER)
  set(telmar_build_number ${TELMAR_BUILD_NUMBER})
  message(STATUS "telmar-setup build number ${TELMAR_BUILD_NUMBER}: given by TELMAR_BUILD_NUMBER")
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} rev-list --count HEAD
                  RESULT_VARIABLE status OUTPUT_VARIABLE telmar_build_number ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT telmar_build_number MATCHES "^[0-9]+$")
    set(telmar_build_number 0)
    message(STATUS "telmar-setup build number 0: not built from a git checkout "
                   "(-DTELMAR_BUILD_NUMBER=N gives the version's third field)")
  else()
    execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} rev-parse --is-shallow-repository
                    OUTPUT_VARIABLE shallow ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes ERROR_QUIET)
    if(shallow STREQUAL "true")
      message(WARNING "a shallow clone counts only the commits it holds: build number "
                      "${telmar_build_number} is lower than the history's; fetch it whole "
                      "(git fetch --unshallow) for a release")
    endif()
    if(NOT changes STREQUAL "")
      message(STATUS "telmar-setup build number ${telmar_build_number}: HEAD's, though the "
                     "checkout holds uncommitted changes (commit them for a release)")
    endif()
    # A new commit configures again, so that the version follows it.
    foreach(reference HEAD packed-refs)
      execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} rev-parse --git-path ${reference}
                      OUTPUT_VARIABLE path ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      list(APPEND telmar_version_sources ${path})
    endforeach()
    execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} symbolic-ref -q HEAD
                    OUTPUT_VARIABLE branch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(branch)
      execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} rev-parse --git-path ${branch}
                      OUTPUT_VARIABLE path ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      list(APPEND telmar_version_sources ${path})
    endif()
    foreach(path ${telmar_version_sources})
      if(NOT IS_ABSOLUTE ${path})
        set(path ${CMAKE_SOURCE_DIR}/${path})
      endif()
      if(EXISTS ${path})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
      endif()
    endforeach()
  endif()
endif()
