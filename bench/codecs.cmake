# codecs benchmarks: quenvale_bench(NAME SOURCES ... LIBS ...)
