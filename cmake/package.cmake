# Debian package of the program, its manual page, its bash completion, and the copyright and
# changelog that Debian asks for: `cpack -G DEB` in a build tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ornsum)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sum up the finished sessions of an Ornid daemon log")
set(CPACK_PACKAGE_DESCRIPTION [[
ornsum reads the log of the Ornid daemon once and writes two framed tables:
the finished sessions with the bytes sent and received and their totals,
and the bytes summed for each remote node. The tables go to standard output
and, on request, to report files.]])
set(CPACK_PACKAGE_CONTACT "Seed afe12613 maintainers <maintainers@users.noreply.c-seed-afe12613.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps gives the versioned dependencies; without it, the libraries are named plainly.
find_program(ORNSUM_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ORNSUM_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
endif()
# Debian wants manual pages and the changelog compressed; `cmake --install` leaves them plain.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/gzip-docs.cmake)
include(CPack)
