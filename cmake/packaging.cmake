# "make package": a Debian package of the installed tree, its library dependencies found by
# dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenvale)
set(CPACK_PACKAGE_VENDOR "The Quenvale developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch image converter with a drop window")
set(CPACK_PACKAGE_DESCRIPTION
  "Quenvale converts the pictures dropped on its small window, or named on its\n"
  "command line, one after the other. BMP, PNG and JPEG are read by the program\n"
  "itself, GIF, TIFF, WebP, netpbm, HEIC/HEIF, AVIF and JPEG XL through the\n"
  "shipped plug-ins. Each picture is optionally stretched to a target size with\n"
  "one of six resamplers, toned sepia and reduced to 256 colours, and written as\n"
  "BMP, JPEG or PNG, or added as one page to a PDF file.\n"
  "\n"
  "The package holds the window (quenvale), the command line (quenvale-cli), the\n"
  "plug-ins and the manual.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Japanese captions need a CJK font; xdg-open opens the manual and the web page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(QV_HOME_PAGE MATCHES "^https?://")
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QV_HOME_PAGE}")
endif()
include(CPack)
