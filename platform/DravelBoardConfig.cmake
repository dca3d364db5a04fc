# The board in a box as installed: the stand-ins' libraries, daemons and test
# pieces as imported targets under the names they have in the tree that built
# them. Their headers lie under DravelBoard_INCLUDE_DIR ("platform/..."); the
# targets do not carry that folder, so that a build switching between the
# stand-ins and this package compiles its sources with the same flags.
include(${CMAKE_CURRENT_LIST_DIR}/DravelBoardTargets.cmake)
get_filename_component(DravelBoard_INCLUDE_DIR "${CMAKE_CURRENT_LIST_DIR}/../../../include/dravel-board"
  ABSOLUTE)
