set(AREA_LIBS statemgrd_core stmgrclient_cmd)
