set(FUZZ_LIBS camera_scenario)
