# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P EmbedFile.cmake
# Writes a C++ source that holds the bytes of INPUT as `whois::embedded::<SYMBOL>`.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(([^,]*,){24})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; do not edit.\n"
"#include <cstddef>\n#include <string_view>\n\n"
"namespace whois::embedded {\n"
"static constexpr char kBytes[${size} + 1] = {\n    ${bytes}'\\0'};\n"
"extern const std::string_view ${SYMBOL};\n"
"const std::string_view ${SYMBOL}(kBytes, ${size});\n"
"} // namespace whois::embedded\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
