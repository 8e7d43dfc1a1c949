# One static library per folder of src/. A library's headers are reachable as
# "<folder>/Header.h" only through an include root of its own that holds just that folder,
# so a target sees the headers of the libraries it links and no others: a folder that
# includes a folder it does not link fails to build.
function(whois_add_library folder)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;PUBLIC;PRIVATE")
    set(target whois_${folder})
    add_library(${target} STATIC ${arg_SOURCES})
    set(include_root ${CMAKE_BINARY_DIR}/include/${folder})
    file(MAKE_DIRECTORY ${include_root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${include_root}/${folder} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${include_root})
    target_link_libraries(${target} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
    whois_set_warnings(${target})
endfunction()
