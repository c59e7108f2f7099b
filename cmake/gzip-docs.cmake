# Run by CPack on its staging tree before the package is made: compresses every manual page and
# the changelog, as Debian wants them, with no name or time stamp inside.
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER files INCLUDE REGEX "/share/man/man[1-9]/[^/]+\\.[1-9]$|/share/doc/[^/]+/changelog$")
foreach(file IN LISTS files)
  execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
