# The PNG object: chunk classes, CRC, filters, encoder and decoder; the checksums of chunks and
# of zlib streams.
target_sources(quenvale_codecs PRIVATE
  adler32.cpp
  crc32.cpp
  png_chunks.cpp
  png_crc.cpp
  png_decoder.cpp
  png_encoder.cpp
  png_metadata.cpp
  png_exceptions.cpp
  png_filters.cpp
  png_internal_image.cpp
  png_object.cpp
)
