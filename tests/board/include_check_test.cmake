# The include check refuses every spelling of an include that reaches into
# platform/ from a service folder, and lets through what only looks alike.
include(${CMAKE_CURRENT_LIST_DIR}/judge.cmake)

function(expect outcome file text)
  file(REMOVE_RECURSE ${SCRATCH})
  file(WRITE ${SCRATCH}/support/gv.h "#include \"board/board_shmgr.h\"\n")
  file(WRITE ${SCRATCH}/${file} "${text}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SCRATCH} -P ${CHECK}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  judge(${outcome} "${file} with '${text}'" "${file}" "${result}" "${output}")
endfunction()

expect(refused links/shmgr_link.cpp "#include \"platform/shmgr/shmgr.h\"")
expect(refused core/deep/inner.h "  #  include <platform/config/config.h>")
expect(refused access/a.hpp "#include \"../platform/statemgr/stmcc.h\"")
expect(refused support/b.cc "#include\t\"platform/camera/camera_fake.h\"")
expect(refused records/c.c "int x;\n#include \"platform/lpr/render.h\"")
expect(refused video/d.h "#include \"board/imx27_records.h\"\n#include <platform/camera/scenario.h>")
expect(refused recognizer/e.cpp "#include \"platform/lpr/plate_layout.h\"")
expect(refused board/lpr.h "#include \"platform/lpr/lpr_engine.h\"")

expect(passed core/a.cpp "#include \"board/board_config.h\"\n// platform/config/config.h is the stand-in's")
expect(passed records/a.cpp "#include \"records/platform_text.h\"")
expect(passed links/notes.md "#include \"platform/shmgr/shmgr.h\"")
expect(passed tools/a.cpp "#include \"platform/shmgr/shmgr_reader.h\"")
expect(passed tests/a.cpp "#include \"platform/statemgr/statemgrd.h\"")
