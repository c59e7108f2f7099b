# Fails when groff has anything to say about the manual page: -D PAGE=<page>.
find_program(GROFF groff)
if(NOT GROFF)
  message("groff not found: skipped")
  return()
endif()
# The default device and the terminal one that man(1) uses can warn about different characters.
foreach(device ps utf8)
  execute_process(COMMAND ${GROFF} -man -ww -z -T${device} ${PAGE} RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "groff -T${device} ended with ${status}:\n${errors}")
  endif()
endforeach()
