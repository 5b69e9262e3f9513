# Tests of the resamplers and effects.
quenvale_test(test_imaging_operations
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/filtered_resample_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/column_stream_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/source_row_ring_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bilinear_stretch_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fixed_point_bilinear_resize_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sepia_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/reduce_colors_test.cpp
  LIBS quenvale_imaging SIMD)
