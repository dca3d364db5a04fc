set(AREA_LIBS camera-fake camera_scenario plate_scene)
