# Every build folder (plain, sanitizer, ThreadSanitizer, fuzz) compiles through ccache when it
# is installed (scripts/install-deps installs it) and no launcher was given. The cache is set
# up so that a second clone of the same sources, in any folder, finds the first one's objects:
# paths under the clone's root are hashed relative to it (base_dir) and the build folder's own
# path is left out of the hash (hash_dir off). Its size holds the objects of all four build
# folders at once, so that building one never pushes another's out.
#
# A clone's absolute paths must therefore not reach the compiled code: the tests read theirs
# through tests/support/TestPaths.h, whose one source file is all a second clone recompiles.
option(TESSARO_COMPILER_CACHE "Compile through ccache when it is installed" ON)
set(TESSARO_COMPILER_CACHE_SIZE 6G CACHE STRING "The compiler cache's size")
find_program(TESSARO_CCACHE_PROGRAM ccache)

if(TESSARO_COMPILER_CACHE AND TESSARO_CCACHE_PROGRAM AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(compiler_cache_launcher
        env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=1
            CCACHE_MAXSIZE=${TESSARO_COMPILER_CACHE_SIZE} ${TESSARO_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${compiler_cache_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${compiler_cache_launcher})
endif()

# Programs and tests link with mold when it is installed: a test executable that takes GNU ld
# over two seconds links in under one.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=mold TESSARO_LINKER_MOLD)
if(TESSARO_LINKER_MOLD)
    add_link_options(-fuse-ld=mold)
endif()
