# The options of the usage text that ornsum prints must be exactly those of the manual page's
# SYNOPSIS and of the tags of its OPTIONS list: -D ORNSUM=<binary> -D PAGE=<page>.
execute_process(COMMAND ${ORNSUM} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE usage)
string(FIND "${usage}" "USAGE:" at)
if(NOT status EQUAL 2 OR at EQUAL -1)
  message(FATAL_ERROR "no usage text (status ${status}):\n${usage}")
endif()
string(SUBSTRING "${usage}" ${at} -1 usage)

# "-s<file>" in the usage text is "\-s\fI<file>\fP" in the page.
function(options_in text out)
  string(REGEX REPLACE "\\\\f[A-Z]" "" text "${text}")
  string(REPLACE "\\-" "-" text "${text}")
  string(REGEX REPLACE "([A-Za-z0-9])-" "\\1 " text "${text}")  # "two-digit" is no option
  string(REGEX MATCHALL "-[a-z][a-z_<>]*" found "${text}")
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(READ ${PAGE} page)
string(REGEX MATCH "\n\\.SH SYNOPSIS\n[^\n]*(\n[^.][^\n]*|\n\\.[^S][^\n]*)*" synopsis "${page}")
string(REGEX MATCH "\n\\.SH OPTIONS\n[^\n]*(\n[^.][^\n]*|\n\\.[^S][^\n]*)*" options "${page}")
string(REGEX MATCHALL "\n\\.TP\n[^\n]*" tags "${options}")

options_in("${usage}" want)
options_in("${synopsis}" in_synopsis)
options_in("${tags}" in_options)
if(NOT in_synopsis STREQUAL want OR NOT in_options STREQUAL want)
  message(FATAL_ERROR "usage: ${want}\nSYNOPSIS: ${in_synopsis}\nOPTIONS: ${in_options}")
endif()
