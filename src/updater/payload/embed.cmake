# Turns an archive into C++ source: the byte array kPayload, its length
# kPayloadSize and its CRC-32 kPayloadCrc, which CRC_TOOL (our own
# vorn-payload-crc, built for the build machine) computes.
# Run as: cmake -DINPUT=archive -DOUTPUT=file.cpp -DCRC_TOOL=program -P embed.cmake
file(SIZE "${INPUT}" size)
if(size EQUAL 0)
  message(FATAL_ERROR "The payload archive ${INPUT} is empty")
endif()
execute_process(COMMAND "${CRC_TOOL}" "${INPUT}" OUTPUT_VARIABLE crc RESULT_VARIABLE crc_result
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT crc_result EQUAL 0 OR NOT crc MATCHES "^0x[0-9A-F]+$")
  message(FATAL_ERROR "No checksum of ${INPUT} from ${CRC_TOOL}: ${crc}")
endif()
file(READ "${INPUT}" hex HEX)
# 32 bytes a line keep the file readable and the compiler fast.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include \"updater/payload.h\"\n\n"
  "extern const int32_t kPayloadSize = ${size};\n"
  "extern const uint32_t kPayloadCrc = ${crc}u;\n"
  "extern const unsigned char kPayload[] = {\n${bytes}\n};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
