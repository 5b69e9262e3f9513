# The JPEG adapter over libjpeg: error manager, memory managers, CMYK rows, TJPEGImage.
target_sources(quenvale_codecs PRIVATE
  exif_block.cpp
  jpeg_band_encoder.cpp
  jpeg_baseline_header.cpp
  jpeg_cmyk.cpp
  jpeg_error_manager.cpp
  jpeg_forward_dct.cpp
  jpeg_huffman_coder.cpp
  jpeg_image.cpp
  jpeg_memory_managers.cpp
  jpeg_metadata.cpp
)
