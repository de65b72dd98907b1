# cmake -DFILE=... -DOBJCOPY=... -DREADELF=... -P strip_debug.cmake
# Moves FILE's symbols and debug information into FILE.debug, which FILE names in its
# .gnu_debuglink (debuggers find it beside FILE), and strips FILE. A file with no symbol table
# left is already stripped: FILE.debug is then kept as it is.
execute_process(COMMAND ${READELF} -S --wide ${FILE} OUTPUT_VARIABLE sections
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT sections MATCHES "\\.symtab")
    return()
endif()
execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${FILE} ${FILE}.debug
                COMMAND_ERROR_IS_FATAL ANY)
# As Debian's own packages strip their shared libraries.
execute_process(COMMAND ${OBJCOPY} --strip-unneeded --remove-section=.comment
                        --remove-section=.note --add-gnu-debuglink=${FILE}.debug ${FILE}
                COMMAND_ERROR_IS_FATAL ANY)
