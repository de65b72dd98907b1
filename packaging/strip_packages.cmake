# CPack runs this after installing into its staging folder and before packing: every ELF file
# that still has a symbol table is stripped the way Debian strips its packages. The signed
# component has none left (it was stripped before it was signed, cmake/ZavSigning.cmake), so its
# embedded signature, which any strip would cut off, stays as the build made it.
file(GLOB_RECURSE zav_staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS zav_staged)
    if(IS_SYMLINK "${file}")
        continue()
    endif()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
        continue()
    endif()
    execute_process(COMMAND ${CPACK_ZAV_READELF} -S --wide "${file}" OUTPUT_VARIABLE sections
                    COMMAND_ERROR_IS_FATAL ANY)
    if(NOT sections MATCHES "\\.symtab")
        continue()
    endif()
    message(STATUS "Stripping ${file}")
    set(how --strip-unneeded)
    if(sections MATCHES "\\.interp")
        set(how --strip-all)
    endif()
    execute_process(COMMAND ${CPACK_ZAV_OBJCOPY} ${how} --remove-section=.comment
                            --remove-section=.note "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
