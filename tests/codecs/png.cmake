# Tests of the png codec. libpng is linked here only, as the oracle the decoder is checked against
# (the tests need it, so they are left out on a machine without it).
find_package(PNG QUIET)
if(PNG_FOUND)
  quenvale_test(test_png SOURCES png_test_support.cpp png_suite_test.cpp png_encoder_test.cpp
                png_decoder_test.cpp
                LIBS quenvale_app quenvale_codecs PNG::PNG ZLIB::ZLIB)
else()
  message(WARNING "libpng not found: test_png is not built")
endif()
