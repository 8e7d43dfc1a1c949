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

# Sets `out` to the link items for a dependency: the imported target `shared` in general,
# and the static archives named after it for a program whose target property
# WHOIS_STATIC_DEPENDENCIES is on. Such a program starts without loading and relocating the
# shared libraries. The headers always come from `shared`.
function(whois_static_or_shared out shared)
    set(static "$<BOOL:$<TARGET_PROPERTY:WHOIS_STATIC_DEPENDENCIES>>")
    set(items "$<$<NOT:${static}>:${shared}>")
    foreach(archive IN LISTS ARGN)
        string(MAKE_C_IDENTIFIER "WHOIS_ARCHIVE_${archive}" variable)
        find_library(${variable} NAMES ${archive} REQUIRED)
        list(APPEND items "$<${static}:${${variable}}>")
    endforeach()
    list(APPEND items "$<${static}:${CMAKE_DL_LIBS}>" "$<${static}:m>")
    set(${out} ${items} PARENT_SCOPE)
endfunction()
