# Tests of the chunk and stream checksums, against zlib's.
quenvale_test(test_checksums SOURCES checksums_test.cpp LIBS quenvale_codecs ZLIB::ZLIB)
