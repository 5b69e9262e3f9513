# imaging benchmarks: quenvale_bench(NAME SOURCES ... LIBS ...)
quenvale_bench(bench_imaging SOURCES ${CMAKE_CURRENT_LIST_DIR}/imaging_bench.cpp LIBS quenvale_imaging)
