# The loop's clock stands in for time(); the state manager runs in-process.
set(BENCH_SOURCES ${CMAKE_SOURCE_DIR}/tests/core/fake_clock.cpp)
set(BENCH_LIBS statemgrd_core)
