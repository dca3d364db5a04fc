list(APPEND AREA_LIBS dravel_web_core accessbase_core archive_keeper_core shmgr_dump_core
     journal_reader_core golden_file)
list(APPEND AREA_DEFINITIONS DRAVEL_TOOLS_GOLDEN="${CMAKE_CURRENT_SOURCE_DIR}/tools/golden/")
