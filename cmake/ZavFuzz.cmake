# ZAV_FUZZ=ON builds the fuzz targets as libFuzzer binaries: clang only, with ASan + UBSan, and
# every target of the build instrumented for coverage so that the library's own code guides the
# fuzzer. Include before ZavSanitizers.cmake.
option(ZAV_FUZZ "Build the fuzz targets as libFuzzer binaries (clang)" OFF)
if(ZAV_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "ZAV_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    if(ZAV_SANITIZE STREQUAL "")
        set(ZAV_SANITIZE address)
    elseif(NOT ZAV_SANITIZE STREQUAL "address")
        message(FATAL_ERROR "ZAV_FUZZ works with ZAV_SANITIZE=address only")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
