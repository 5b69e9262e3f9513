# Tests of the bmp codec. libpng reads the conformance suite's reference renderings.
quenvale_test(test_bmp SOURCES bmp_codec_test.cpp bmp_rle_decoder_test.cpp bmp_suite_test.cpp
              LIBS quenvale_codecs)
find_package(PNG QUIET)
if(PNG_FOUND)
  target_link_libraries(test_bmp PRIVATE PNG::PNG)
  target_compile_definitions(test_bmp PRIVATE QV_HAVE_LIBPNG=1)
endif()
