set(AREA_LIBS cp1251_text storage_checks)
