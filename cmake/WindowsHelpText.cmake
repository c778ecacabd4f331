# Turns a manual page into the plain text the Windows installer ships as the
# command line's help file: UTF-8 with a byte-order mark (which Notepad reads
# on every Windows), CR LF lines, no hyphenation, ASCII hyphens and quotes.
#   cmake -DMAN=page.1 -DOUTPUT=page.txt -DGROFF=groff -P WindowsHelpText.cmake
execute_process(
  COMMAND ${GROFF} -k -man -rHY=0 -rLL=78n -Tutf8 -P-c -P-b -P-o -P-u ${MAN}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE status
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "groff could not lay out ${MAN}: ${errors}")
endif()
# Typographic hyphens, minus signs and quotes would break a copied option.
foreach(pair "‐;-" "−;-" "‘;'" "’;'" "“;\"" "”;\"")
  list(GET pair 0 from)
  list(GET pair 1 to)
  string(REPLACE "${from}" "${to}" text "${text}")
endforeach()
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE ${OUTPUT} "${bom}${text}")
