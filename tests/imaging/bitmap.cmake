# Tests of the Raster image.
quenvale_test(test_bitmap SOURCES bitmap_test.cpp LIBS quenvale_imaging)
quenvale_test(test_pixel_buffer SOURCES pixel_buffer_test.cpp LIBS quenvale_imaging)
