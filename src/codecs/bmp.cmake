target_sources(quenvale_codecs PRIVATE bmp_reader.cpp bmp_rle_decoder.cpp bmp_writer.cpp)
