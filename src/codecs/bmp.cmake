target_sources(quenvale_codecs PRIVATE bmp_reader.cpp bmp_writer.cpp)
