# Renders a manual page as plain text with Windows line ends, for the Windows
# zip, where no man reader is at hand:
#   cmake -DGROFF=... -DPAGE=romfold.1 -DOUTPUT=romfold.txt -P render_text.cmake
# groff's terminal output without bold, underline or overstriking, in ASCII
# (every editor shows it), then each line ended in CR LF.
execute_process(
  COMMAND ${GROFF} -man -Tascii -P-cbou ${PAGE}
  OUTPUT_VARIABLE text
  ERROR_VARIABLE warnings
  RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff could not render ${PAGE} (${status}): ${warnings}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
