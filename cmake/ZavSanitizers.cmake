# Applies the sanitizer chosen with ZAV_SANITIZE to every target of the build.
if(ZAV_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    # GCC 12 reports false maybe-uninitialized warnings inside libstdc++ (std::regex,
    # std::function) once ASan instrumentation changes its inlining. Clang has no such option.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-maybe-uninitialized)
    endif()
elseif(ZAV_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT ZAV_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ZAV_SANITIZE must be empty, address or thread")
endif()
