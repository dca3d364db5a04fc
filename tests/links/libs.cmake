set(AREA_LIBS statemgrd_core)
