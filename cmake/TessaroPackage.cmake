# The Debian package (cpack -G DEB in the build folder): what cmake --install puts under /usr.
#
# dpkg-shlibdeps finds the libraries the programs link (Qt, whose package also holds the X11
# platform and JPEG plug-ins, and the C++ runtime) and libdvddec.so's libdvdread. The media
# libraries and SDL are opened at run time with dlopen, so no tool can see them: they are
# named here, one package per library the loader binds.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VENDOR "Tessaro")
set(CPACK_PACKAGE_CONTACT "Tessaro maintainers <maintainers@tessaro.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DVD ripper and video converter")
set(CPACK_PACKAGE_DESCRIPTION "Converts the titles of a DVD (drive, VIDEO_TS folder or ISO image)
and ordinary media files into files for portable players and other devices,
in one of 26 output formats.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libavcodec59, libavformat59, libavfilter8, libavutil57, libswscale6, libswresample4, \
libavdevice59, libsdl2-2.0-0")
# Fonts for the windows' texts; web pages and folders open through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, xdg-utils")
# Reading encrypted discs needs libdvdcss, which libdvdread loads by itself when present.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libdvdcss2")

include(CPack)
