# Writes a help2man include section listing each subcommand of a program with
# its own --help, so the manual page shows every command's options.
#   cmake -DPROGRAM=path/to/bootquarn-cli -DOUTPUT=file.h2m -P ManCommands.cmake
cmake_policy(SET CMP0007 NEW)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()

# The lines after "Subcommands:", one "  name   description" each.
string(FIND "${help}" "Subcommands:\n" start)
if(start LESS 0)
  message(FATAL_ERROR "${PROGRAM} --help lists no subcommands")
endif()
string(SUBSTRING "${help}" ${start} -1 section)
string(REPLACE "\n" ";" lines "${section}")
list(REMOVE_AT lines 0)

function(roff_escape text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  # A line may not start with a control character.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(roff "[COMMANDS]\n")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^  ([a-z][a-z0-9-]*)")
    continue()
  endif()
  set(command ${CMAKE_MATCH_1})
  execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE text
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${command} --help failed: ${status}")
  endif()
  # The program's path in the usage line is its name in the manual.
  string(REGEX REPLACE "Usage: [^ \n]*/" "Usage: " text "${text}")
  roff_escape("${text}" text)
  string(APPEND roff ".SS ${command}\n.nf\n${text}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${roff}")
