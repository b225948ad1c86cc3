# Build switches shared by every module.

set(TESSARO_SANITIZE "" CACHE STRING "Build with a sanitizer: empty, address (ASan + LSan) or thread")
set_property(CACHE TESSARO_SANITIZE PROPERTY STRINGS "" address thread)

if(TESSARO_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(TESSARO_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT TESSARO_SANITIZE STREQUAL "")
    message(FATAL_ERROR "TESSARO_SANITIZE must be empty, address or thread")
endif()

# Strict warnings for the project's own targets only (not for third-party headers).
function(tessaro_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    if(NOT TESSARO_SANITIZE STREQUAL "")
        # The sanitizers' instrumentation makes GCC's flow analysis report uninitialised
        # members inside the standard library (std::regex, std::function) that are not.
        target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
endfunction()
