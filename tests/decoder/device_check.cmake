# Runs device_check on the seed corpora and compares its output with
# device_check.expected, byte for byte (line ends aside: a Windows build
# writes CR LF).
#   cmake -DPROGRAM=... [-DEMULATOR=...] -DSOURCE=<project root> -P device_check.cmake
file(GLOB images ${SOURCE}/tests/fuzz/corpus/packed_image_check/*)
file(GLOB blocks ${SOURCE}/tests/fuzz/corpus/block_decoder/*)
list(SORT images)
list(SORT blocks)
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${images} ${blocks} OUTPUT_VARIABLE output RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" output "${output}")
file(READ ${SOURCE}/tests/decoder/device_check.expected expected)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "device_check exited with ${status}")
endif()
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "device_check printed:\n${output}\ninstead of:\n${expected}")
endif()
