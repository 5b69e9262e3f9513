# Tests of the jpeg codec (djpeg from libjpeg-turbo-progs is the oracle).
quenvale_test(test_jpeg SOURCES jpeg_image_test.cpp jpeg_error_manager_test.cpp jpeg_metadata_test.cpp
              jpeg_band_encoder_test.cpp
              LIBS quenvale_app quenvale_codecs)
