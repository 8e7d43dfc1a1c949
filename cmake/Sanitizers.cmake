# With WHOIS_SANITIZE every target, the project's and GoogleTest's alike, is built and
# linked with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails the run.
if(WHOIS_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
