# The page is run as the web server runs it: its program, built beside.
set(BENCH_LIBS dravel_web_core)
set(BENCH_DEFINITIONS DRAVEL_WEB_PROGRAM="$<TARGET_FILE:dravel-web>")
