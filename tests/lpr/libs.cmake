set(AREA_LIBS plate_scene lpr_odd_results ${DRAVEL_ENGINE_LIB})
