# Turns an archive into C++ source: the byte array kPayload and its length
# kPayloadSize. Run as: cmake -DINPUT=archive -DOUTPUT=file.cpp -P embed.cmake
file(SIZE "${INPUT}" size)
if(size EQUAL 0)
  message(FATAL_ERROR "The payload archive ${INPUT} is empty")
endif()
file(READ "${INPUT}" hex HEX)
# 32 bytes a line keep the file readable and the compiler fast.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include \"updater/payload.h\"\n\n"
  "extern const int32_t kPayloadSize = ${size};\n"
  "extern const unsigned char kPayload[] = {\n${bytes}\n};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
