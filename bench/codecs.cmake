# codecs benchmarks: quenvale_bench(NAME SOURCES ... LIBS ...)
quenvale_bench(bench_codecs_png SOURCES ${CMAKE_CURRENT_LIST_DIR}/codecs_png.cpp LIBS quenvale_codecs_png quenvale_simd png)
quenvale_bench(bench_codecs_jpeg SOURCES ${CMAKE_CURRENT_LIST_DIR}/codecs_jpeg.cpp LIBS quenvale_codecs_jpeg quenvale_codecs_bmp)
quenvale_bench(bench_codecs_jpeg_scans SOURCES ${CMAKE_CURRENT_LIST_DIR}/codecs_jpeg_scans.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/many_scan_jpeg.cpp LIBS quenvale_codecs_jpeg JPEG::JPEG)
target_include_directories(bench_codecs_jpeg_scans PRIVATE ${CMAKE_SOURCE_DIR}/tests)
