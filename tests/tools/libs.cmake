list(APPEND AREA_LIBS shmgr_dump_core)
