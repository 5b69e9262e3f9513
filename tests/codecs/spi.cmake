# Tests of the plug-in host and the shipped plug-ins, with test-only plug-ins built in this
# folder (never beside the executables, where they would take over every file).
set(QV_SPI_TEST_PLUGIN_DIR ${CMAKE_CURRENT_BINARY_DIR}/spi_test_plugins)

# spi_test_plugin(TARGET FILE_NAME DEFINITIONS...): one variant of the test plug-in.
function(spi_test_plugin target file_name)
  add_library(${target} MODULE spi_plugins/test_plugin.c)
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX ".spi" OUTPUT_NAME ${file_name}
    LIBRARY_OUTPUT_DIRECTORY ${QV_SPI_TEST_PLUGIN_DIR} C_VISIBILITY_PRESET hidden)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/plugins/include)
  target_compile_definitions(${target} PRIVATE ${ARGN})
  quenvale_warnings(${target})
  set_property(GLOBAL APPEND PROPERTY QV_SPI_TEST_PLUGINS ${target})
endfunction()

spi_test_plugin(spi_test_fail fail TP_BEHAVIOUR=1 TP_NAME="failing" TP_PATTERN="*.fail")
spi_test_plugin(spi_test_blocks blocks TP_BEHAVIOUR=2 TP_NAME="blocks" TP_PATTERN="*.qvtb")
spi_test_plugin(spi_test_red red TP_BEHAVIOUR=3 TP_NAME="red" TP_PATTERN="*.red"
                TP_RED=255 TP_GREEN=0 TP_BLUE=0)
spi_test_plugin(spi_test_blue blue TP_BEHAVIOUR=3 TP_NAME="blue" TP_PATTERN="*.blue"
                TP_RED=0 TP_GREEN=0 TP_BLUE=255)
spi_test_plugin(spi_test_peek peek TP_BEHAVIOUR=4 TP_NAME="peek" TP_PATTERN="*.peek"
                TP_RED=0 TP_GREEN=255 TP_BLUE=0)
spi_test_plugin(spi_test_lower_version lower_version TP_BEHAVIOUR=3 TP_VERSION="00in")
spi_test_plugin(spi_test_archive archive TP_BEHAVIOUR=3 TP_VERSION="00AM")
spi_test_plugin(spi_test_long_version long_version TP_BEHAVIOUR=3 TP_VERSION="00IN ")
spi_test_plugin(spi_test_no_is_supported no_is_supported TP_BEHAVIOUR=3 TP_NO_IS_SUPPORTED=1)
spi_test_plugin(spi_test_no_get_picture no_get_picture TP_BEHAVIOUR=3 TP_NO_GET_PICTURE=1)
spi_test_plugin(spi_test_no_functions no_functions TP_NO_FUNCTIONS=1)

find_package(GIF)
find_package(TIFF)
find_package(PkgConfig)
if(PkgConfig_FOUND)
  pkg_check_modules(QV_TEST_WEBP IMPORTED_TARGET libwebp libwebpmux)
endif()

quenvale_test(test_spi SOURCES spi_dib_copy_test.cpp spi_lib32_test.cpp spi_plugins_test.cpp
              LIBS quenvale_codecs)
target_include_directories(test_spi PRIVATE ${CMAKE_SOURCE_DIR}/plugins/include
                           ${CMAKE_SOURCE_DIR}/plugins/common)
target_compile_definitions(test_spi PRIVATE
  QV_SPI_TEST_PLUGIN_DIR="${QV_SPI_TEST_PLUGIN_DIR}/"
  QV_SPI_PLUGIN_DIR="${CMAKE_BINARY_DIR}/bin/")
get_property(test_plugins GLOBAL PROPERTY QV_SPI_TEST_PLUGINS)
add_dependencies(test_spi ${test_plugins} quenvale_plugins)
if(GIF_FOUND)
  target_link_libraries(test_spi PRIVATE GIF::GIF)
  target_compile_definitions(test_spi PRIVATE QV_HAVE_GIFLIB=1)
endif()
if(TIFF_FOUND)
  target_link_libraries(test_spi PRIVATE TIFF::TIFF)
  target_compile_definitions(test_spi PRIVATE QV_HAVE_LIBTIFF=1)
endif()
if(QV_TEST_WEBP_FOUND)
  target_link_libraries(test_spi PRIVATE PkgConfig::QV_TEST_WEBP)
  target_compile_definitions(test_spi PRIVATE QV_HAVE_LIBWEBP=1)
endif()

# End to end through quenvale-cli, which loads the plug-ins beside itself; libpng reads its PNG
# output back (as an outside oracle).
find_package(PNG QUIET)
if(GIF_FOUND AND PNG_FOUND AND TARGET quenvale-cli)
  quenvale_test(test_spi_cli SOURCES spi_cli_test.cpp
                LIBS quenvale_codecs GIF::GIF PNG::PNG)
  target_compile_definitions(test_spi_cli PRIVATE QV_CLI_PATH="$<TARGET_FILE:quenvale-cli>")
  add_dependencies(test_spi_cli quenvale-cli quenvale_plugins)
endif()
