# settings benchmarks: quenvale_bench(NAME SOURCES ... LIBS ...)
quenvale_bench(bench_settings_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_load.cpp
  LIBS quenvale_settings)
