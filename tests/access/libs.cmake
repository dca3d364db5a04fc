# The decision raises the barrier event through the built stmgrclient, which
# the tests put on PATH, and a state manager daemon of the test's own sees it.
# Under emulation the shell cannot run the board's client.
set(AREA_LIBS statemgrd_core ${CMAKE_DL_LIBS})
set(AREA_DEFINITIONS STMGRCLIENT_DIR="$<TARGET_FILE_DIR:stmgrclient>")
set(AREA_DEPENDS stmgrclient)
if(CMAKE_CROSSCOMPILING)
  list(APPEND AREA_DEFINITIONS DRAVEL_CROSSCOMPILED)
endif()
