# Makes the Debian package in the build tree and checks what it holds and declares, then has lintian
# check it: -D CPACK=<cpack> -D BUILD=<build tree> -D VERSION=<project version>.
find_program(DPKG_DEB dpkg-deb)
if(NOT DPKG_DEB)
  message("dpkg-deb not found: skipped")
  return()
endif()
set(out ${BUILD}/deb-package-test)
file(REMOVE_RECURSE ${out})
execute_process(COMMAND ${CPACK} -G DEB -B ${out} --config ${BUILD}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD} RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB deb ${out}/*.deb)
list(LENGTH deb count)
if(NOT status EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack ended with ${status} and made ${count} packages:\n${log}")
endif()

function(check what text regex)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "${what} lacks ${regex}:\n${text}")
  endif()
endfunction()

execute_process(COMMAND ${DPKG_DEB} -c ${deb} OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
message("${listing}")
check("the listing" "${listing}" " \\./usr/bin/ornsum\n")
foreach(file man/man1/ornsum\\.1\\.gz bash-completion/completions/ornsum doc/ornsum/copyright doc/ornsum/changelog\\.gz)
  check("the listing" "${listing}" " \\./usr/share/${file}\n")
endforeach()
check("the listing" "${listing}" "^([^\n]*/\n|[^\n]*/(ornsum|ornsum\\.1\\.gz|copyright|changelog\\.gz)\n)+$")

execute_process(COMMAND ${DPKG_DEB} -f ${deb} OUTPUT_VARIABLE control COMMAND_ERROR_IS_FATAL ANY)
foreach(field "Package: ornsum\n" "Version: ${VERSION}\n" "Section: utils\n" "Maintainer: [^\n]+ <[^\n]+@[^\n]+>\n"
              "Depends: [^\n]*libc6[^\n]*\n" "Depends: [^\n]*libstdc\\+\\+6"
              "Depends: [^\n]*libisal2" "Depends: [^\n]*libzstd1" "Depends: [^\n]*liblzma5" "Depends: [^\n]*libbz2-1\\.0" "Description: [^\n]+\n [^\n]+")
  check("the control file" "${control}" "${field}")
endforeach()

# The page inside must be a gzip stream of the configured page, not the template.
execute_process(COMMAND ${DPKG_DEB} --fsys-tarfile ${deb} COMMAND tar -xO ./usr/share/man/man1/ornsum.1.gz
                COMMAND gzip -dc OUTPUT_VARIABLE page COMMAND_ERROR_IS_FATAL ANY)
check("the packaged page" "${page}" "^\\.TH ORNSUM 1 [^\n]* \"ornsum ${VERSION}\"")
# The changelog's latest entry is of this version.
execute_process(COMMAND ${DPKG_DEB} --fsys-tarfile ${deb} COMMAND tar -xO ./usr/share/doc/ornsum/changelog.gz
                COMMAND gzip -dc OUTPUT_VARIABLE changelog COMMAND_ERROR_IS_FATAL ANY)
check("the packaged changelog" "${changelog}" "^ornsum \\(${VERSION}\\) ")

# lintian knows Debian's rules for what a package holds; no error and no warning may remain.
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message("lintian not found: its check is left out")
  return()
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error,warning ${deb} RESULT_VARIABLE status OUTPUT_VARIABLE tags
                ERROR_VARIABLE tags)
message("${tags}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian ended with ${status}")
endif()
