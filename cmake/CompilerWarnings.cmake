# Warnings for the project's own targets.
function(whois_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(WHOIS_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
