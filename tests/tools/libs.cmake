list(APPEND AREA_LIBS accessbase_core)
list(APPEND AREA_LIBS shmgr_dump_core)
