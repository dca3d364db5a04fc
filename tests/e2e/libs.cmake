set(AREA_LIBS e2e_boards storage_checks)
