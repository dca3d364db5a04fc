list(APPEND AREA_LIBS accessbase_core)
