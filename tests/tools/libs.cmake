list(APPEND AREA_LIBS accessbase_core)
list(APPEND AREA_LIBS shmgr_dump_core)
list(APPEND AREA_LIBS journal_reader_core)
list(APPEND AREA_LIBS golden_file)
