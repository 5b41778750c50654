# Turns a text file into a C++ source that defines one function returning its bytes:
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<namespace>::<function> -P embed_text_file.cmake
# The bytes are written as numbers, so nothing in the text (quotes, backslashes, a raw-string
# delimiter) can break the generated source, and the data file stays plain rows.

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
set(body "")
set(offset 0)
while(offset LESS hexLength)
  # 24 bytes a line keeps the generated file readable.
  string(SUBSTRING "${hex}" ${offset} 48 chunk)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," chunk "${chunk}")
  string(APPEND body "    ${chunk}\n")
  math(EXPR offset "${offset} + 48")
endwhile()
string(REGEX MATCH "^(.*)::([^:]+)$" unused "${SYMBOL}")
set(namespaceName "${CMAKE_MATCH_1}")
set(functionName "${CMAKE_MATCH_2}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} by embed_text_file.cmake; do not edit.
#include <string_view>

namespace ${namespaceName} {

std::string_view ${functionName}();

namespace {
constexpr char kBytes[] = {
${body}    '\\0'};
} // namespace

std::string_view ${functionName}() { return {kBytes, ${byteCount}}; }

} // namespace ${namespaceName}
")
# Only a changed text rewrites the source, so an unchanged table costs no recompilation.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
