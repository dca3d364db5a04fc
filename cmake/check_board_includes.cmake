# Fails when a file of the service includes one of platform/'s headers (our
# stand-ins for the board) instead of the service's own view of the library
# (board/board_config.h, board/board_shmgr.h, board/board_statemgr.h,
# board/lpr.h): such a file builds here and breaks against a board SDK.
# The build runs it every time, over whatever the folders hold by then:
#   cmake -DSOURCE_DIR=<tree> -P check_board_includes.cmake
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "SOURCE_DIR must name the source tree")
endif()
set(offending "")
foreach(folder board core video recognizer access records links support)
  file(GLOB_RECURSE files LIST_DIRECTORIES false "${SOURCE_DIR}/${folder}/*")
  foreach(file ${files})
    if(NOT file MATCHES "\\.(h|hh|hpp|hxx|inc|ipp|c|cc|cpp|cxx)$")
      continue()
    endif()
    # Also a path that climbs into the folder ("../platform/...").
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*/)?platform/")
    foreach(line ${lines})
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
      string(APPEND offending "\n  ${name}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(offending)
  message(FATAL_ERROR "The service includes the board stand-ins' own headers; include the "
    "service's declarations of the library instead:${offending}")
endif()
