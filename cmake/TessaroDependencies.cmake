# The media libraries and SDL are loaded at run time, so the build only needs
# their headers: these interface targets carry include paths, never link flags.

find_package(PkgConfig REQUIRED)
pkg_check_modules(FFMPEG REQUIRED
    libavcodec>=59 libavformat>=59 libavfilter>=8 libavutil>=57
    libswscale>=6 libswresample>=4 libavdevice>=59)
pkg_check_modules(SDL2 REQUIRED sdl2>=2.0)
pkg_check_modules(DVDREAD REQUIRED IMPORTED_TARGET dvdread)

add_library(tessaro_ffmpeg_headers INTERFACE)
target_include_directories(tessaro_ffmpeg_headers SYSTEM INTERFACE ${FFMPEG_INCLUDE_DIRS})

add_library(tessaro_sdl_headers INTERFACE)
target_include_directories(tessaro_sdl_headers SYSTEM INTERFACE ${SDL2_INCLUDE_DIRS})

find_package(Threads REQUIRED)
find_package(Qt6 6.4 REQUIRED COMPONENTS Gui Widgets Network DBus Test)
# Qt Test hands every user the build and source folders for QFINDTESTDATA, which no test here
# uses; they would put this clone's paths into every Qt test's objects and keep the compiler
# cache from serving them to another clone (see TessaroBuildSpeed).
set_property(TARGET Qt6::Test PROPERTY INTERFACE_COMPILE_DEFINITIONS QT_TESTLIB_LIB)
find_package(GTest REQUIRED)
