set(AREA_LIBS faultfs storage_checks)
