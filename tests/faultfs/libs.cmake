set(AREA_LIBS faultfs)
