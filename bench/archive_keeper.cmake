set(BENCH_LIBS archive_keeper_core)
