# The image plug-in host: loads ".spi" shared objects and decodes through them.
target_sources(quenvale_codecs PRIVATE
  spi_dib_copy.cpp
  spi_lib32.cpp
  spi_shared_library.cpp
)
target_include_directories(quenvale_codecs PRIVATE ${CMAKE_SOURCE_DIR}/plugins/include)
