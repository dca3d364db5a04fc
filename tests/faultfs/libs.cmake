set(AREA_LIBS faultfs)
# Where the tools are built, the journal reader checks the journals too.
if(TARGET journal_reader_core)
  list(APPEND AREA_LIBS journal_reader_core)
  set(AREA_DEFINITIONS DRAVEL_JOURNAL_READER=1)
endif()
if(CMAKE_CROSSCOMPILING)
  list(APPEND AREA_DEFINITIONS DRAVEL_CROSSCOMPILED)
endif()
