# Builds the service against a board SDK unpacked under DRAVEL_BOARD_SDK (a
# sysroot) instead of the stand-ins of platform/, which are then not built.
#
# - The four libraries are found under the sysroot's usr/lib, lib and
#   usr/local/lib (and their multiarch folders) by the names the stand-ins
#   build under, and become the targets the service links: board::config,
#   board::shmgr, board::statemgr and board::lpr.
# - Where the SDK ships its own header for one of the three C libraries
#   (DRAVEL_BOARD_SDK_*_HEADER, a name under its include folders), a unit
#   that includes it beside the service's declarations is compiled
#   (cmake/board_check/), so that any difference fails the build.
# - When the sysroot holds our board in a box (the DravelBoard package that
#   platform/ installs), its daemons and test pieces become targets under the
#   names they have in a stand-in build, so the service's tests that need them
#   run; against another SDK those tests are left out.
set(sdk ${DRAVEL_BOARD_SDK})
if(NOT IS_DIRECTORY ${sdk})
  message(FATAL_ERROR "DRAVEL_BOARD_SDK: no folder ${sdk}")
endif()

# Results found in another sysroot would outlive a change of the switch.
if(NOT "${sdk}" STREQUAL "${DRAVEL_BOARD_SDK_FOUND_IN}")
  foreach(lib config shmgr statemgr lpr)
    unset(DRAVEL_BOARD_${lib}_LIBRARY CACHE)
  endforeach()
  unset(DravelBoard_DIR CACHE)
  set(DRAVEL_BOARD_SDK_FOUND_IN ${sdk} CACHE INTERNAL "sysroot of the cached board library paths")
endif()

set(board_lib_dirs ${sdk}/usr/lib ${sdk}/lib ${sdk}/usr/local/lib)
set(board_include_dirs ${sdk}/usr/include ${sdk}/include ${sdk}/usr/local/include)
set(board_arch_dirs ${CMAKE_LIBRARY_ARCHITECTURE} arm-linux-gnueabi)

# The names, in the order tried: the stand-ins' development names, then the
# run-time name, which is all a board's own lib folder may hold.
set(board_config_names board_config)
set(board_shmgr_names shmgr-connect libshmgr-connect.so.0)
set(board_statemgr_names stmcc)
set(board_lpr_names brisvale-lpr)
set(missing "")
foreach(lib config shmgr statemgr lpr)
  find_library(DRAVEL_BOARD_${lib}_LIBRARY NAMES ${board_${lib}_names}
    PATHS ${board_lib_dirs} PATH_SUFFIXES ${board_arch_dirs}
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT DRAVEL_BOARD_${lib}_LIBRARY)
    string(REPLACE ";" " or " names "${board_${lib}_names}")
    string(APPEND missing "\n  ${lib}: ${names}")
    continue()
  endif()
  add_library(board::${lib} UNKNOWN IMPORTED)
  set_target_properties(board::${lib} PROPERTIES IMPORTED_LOCATION ${DRAVEL_BOARD_${lib}_LIBRARY})
  message(STATUS "Board library ${lib}: ${DRAVEL_BOARD_${lib}_LIBRARY}")
endforeach()
if(missing)
  message(FATAL_ERROR "DRAVEL_BOARD_SDK: no such library under ${sdk}/{usr/lib,lib,usr/local/lib}:"
    "${missing}")
endif()

# The board's shared libraries may need others of the SDK, which the linker
# then looks for there rather than in the compiler's own folders.
foreach(dir ${board_lib_dirs})
  foreach(arch ${board_arch_dirs} "")
    if(IS_DIRECTORY ${dir}/${arch})
      add_link_options(-Wl,-rpath-link,${dir}/${arch})
    endif()
  endforeach()
endforeach()

set(DRAVEL_BOARD_SDK_CONFIG_HEADER dravel-board/platform/config/config.h CACHE STRING
  "The SDK's header of the configuration library, under its include folders")
set(DRAVEL_BOARD_SDK_SHMGR_HEADER dravel-board/platform/shmgr/shmgr.h CACHE STRING
  "The SDK's header of the stream manager library, under its include folders")
set(DRAVEL_BOARD_SDK_STATEMGR_HEADER dravel-board/platform/statemgr/stmcc.h CACHE STRING
  "The SDK's header of the state-manager client library, under its include folders")
set(DRAVEL_BOARD_CHECKS "")
foreach(lib config shmgr statemgr)
  string(TOUPPER ${lib} upper)
  set(name ${DRAVEL_BOARD_SDK_${upper}_HEADER})
  # Looked up anew each time, as the name may have changed.
  unset(DRAVEL_BOARD_${lib}_HEADER_PATH CACHE)
  find_file(DRAVEL_BOARD_${lib}_HEADER_PATH ${name} PATHS ${board_include_dirs}
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT DRAVEL_BOARD_${lib}_HEADER_PATH)
    message(STATUS "Board library ${lib}: no header ${name}; its declarations are the service's alone")
    continue()
  endif()
  string(LENGTH ${name} name_length)
  string(LENGTH ${DRAVEL_BOARD_${lib}_HEADER_PATH} path_length)
  math(EXPR root_length "${path_length} - ${name_length}")
  string(SUBSTRING ${DRAVEL_BOARD_${lib}_HEADER_PATH} 0 ${root_length} include_root)
  add_library(board_check_${lib} OBJECT ${CMAKE_SOURCE_DIR}/cmake/board_check/${lib}.cpp)
  target_compile_definitions(board_check_${lib} PRIVATE
    BOARD_SDK_HEADER="${DRAVEL_BOARD_${lib}_HEADER_PATH}")
  target_include_directories(board_check_${lib} SYSTEM PRIVATE ${include_root})
  list(APPEND DRAVEL_BOARD_CHECKS board_check_${lib})
  message(STATUS "Board library ${lib}: checked against ${DRAVEL_BOARD_${lib}_HEADER_PATH}")
endforeach()

find_package(DravelBoard CONFIG QUIET PATHS ${sdk}/usr ${sdk} ${sdk}/usr/local
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(DravelBoard_FOUND)
  message(STATUS "Board in a box: ${DravelBoard_DIR}")
else()
  message(STATUS "No DravelBoard package: tests that need the simulated board are left out")
endif()
