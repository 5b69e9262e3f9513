# pdf benchmarks: quenvale_bench(NAME SOURCES ... LIBS ...)
quenvale_bench(bench_pdf_drop_memory SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_drop_memory.cpp
  LIBS quenvale_app quenvale_pdf JPEG::JPEG)
quenvale_bench(bench_pdf_page_scaling SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_page_scaling.cpp
  LIBS quenvale_app quenvale_pdf)
