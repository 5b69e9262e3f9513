# codecs benchmarks: quenvale_bench(NAME SOURCES ... LIBS ...)
quenvale_bench(bench_codecs_png SOURCES ${CMAKE_CURRENT_LIST_DIR}/codecs_png.cpp LIBS quenvale_codecs png)
quenvale_bench(bench_codecs_jpeg SOURCES ${CMAKE_CURRENT_LIST_DIR}/codecs_jpeg.cpp LIBS quenvale_codecs)
quenvale_bench(bench_codecs_jpeg_scans SOURCES ${CMAKE_CURRENT_LIST_DIR}/codecs_jpeg_scans.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/many_scan_jpeg.cpp LIBS quenvale_codecs JPEG::JPEG)
target_include_directories(bench_codecs_jpeg_scans PRIVATE ${CMAKE_SOURCE_DIR}/tests)
