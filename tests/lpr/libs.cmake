set(AREA_LIBS plate_scene ${DRAVEL_ENGINE_LIB})
