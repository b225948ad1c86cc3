# Build switches shared by every module.

set(TESSARO_SANITIZE "" CACHE STRING
    "Build with a sanitizer: empty, address (ASan + LSan + UBSan) or thread")
set_property(CACHE TESSARO_SANITIZE PROPERTY STRINGS "" address thread)

# TESSARO_SANITIZER_ENV: the sanitizers' run-time options, given to every test (a list of
# NAME=VALUE). Undefined behaviour stops the program (-fno-sanitize-recover) instead of
# printing a line a passing test would hide; the options add the stack of the report.
set(TESSARO_SANITIZER_ENV)
if(TESSARO_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
    # Leak checking is off for the suite: the session bus library of the desktop notice keeps
    # a buffer until exit, and the leak tracer itself crashed at the exit of a program that had
    # played through the media libraries loaded at run time. The fuzz targets keep it on.
    set(TESSARO_SANITIZER_ENV
        "ASAN_OPTIONS=detect_leaks=0:check_initialization_order=1"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
elseif(TESSARO_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT TESSARO_SANITIZE STREQUAL "")
    message(FATAL_ERROR "TESSARO_SANITIZE must be empty, address or thread")
endif()
# Sanitizer builds compile at -O1 with line tables only (-g1): what the sanitizers' reports
# need (every stack frame with its file and line) at about half the compile time of -O2 -g.
# These options come after the build type's, so they win.
if(NOT TESSARO_SANITIZE STREQUAL "")
    add_compile_options(-O1 -g1)
endif()

# A fuzz build: clang with libFuzzer's coverage, AddressSanitizer and UndefinedBehaviorSanitizer
# on every module (undefined behaviour stops the program, so the fuzzer keeps the input). Only
# the fuzz targets of tests/fuzz and what they link are built (see the top CMakeLists.txt).
option(TESSARO_FUZZ "Build the libFuzzer targets of tests/fuzz (needs clang)" OFF)
if(TESSARO_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT TESSARO_SANITIZE STREQUAL "")
        message(FATAL_ERROR "TESSARO_FUZZ needs CXX=clang++ and an empty TESSARO_SANITIZE")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Strict warnings for the project's own targets only (not for third-party headers).
function(tessaro_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    if(NOT TESSARO_SANITIZE STREQUAL "")
        # The sanitizers' instrumentation makes GCC's flow analysis report uninitialised
        # members inside the standard library (std::regex, std::function) that are not.
        target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
    if(TESSARO_FUZZ)
        # FFmpeg's constant macros (AV_TIME_BASE_Q) are compound literals, which clang's
        # pedantic mode reports in C++ and GCC accepts.
        target_compile_options(${target} PRIVATE -Wno-c99-extensions)
    endif()
endfunction()
