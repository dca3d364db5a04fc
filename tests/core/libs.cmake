set(AREA_LIBS camera-fake)
