# Strict warnings for the project's own targets only (not for dependencies' headers).
function(zav_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
