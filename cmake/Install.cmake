# Install rules and the packages: the Debian package, and on Windows a zip.
# Included from the top-level CMakeLists.txt once the targets exist.
include(CMakePackageConfigHelpers)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsZip.cmake)
  return()
endif()

install(TARGETS mocftool mocfinfo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The builder and its page come with its folder; the install and package
# checks in .ci/run notice if they go missing.
if(TARGET mocfbuild)
  install(TARGETS mocfbuild RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(TARGETS mocfformat EXPORT mocfTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
file(GLOB MOCF_PUBLIC_HEADERS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/shared/*.h ${CMAKE_SOURCE_DIR}/shared/sha1/*.h)
install(FILES ${MOCF_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mocf)

set(MOCF_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mocf)
install(EXPORT mocfTargets NAMESPACE mocf:: DESTINATION ${MOCF_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/mocfConfig.cmake.in
  ${CMAKE_BINARY_DIR}/mocfConfig.cmake INSTALL_DESTINATION ${MOCF_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/mocfConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/mocfConfig.cmake ${CMAKE_BINARY_DIR}/mocfConfigVersion.cmake
  DESTINATION ${MOCF_CMAKE_DIR})

# Manual pages. Debian installs them gzip'd (man reads either form), so they
# are compressed in the build when gzip is there; -n keeps the archive free of
# names and times, so the package is the same from one build to the next.
option(MOCF_COMPRESS_MAN "Install the manual pages gzip'd" ON)
set(MOCF_MAN_PAGES mocftool.1 mocfinfo.1)
if(TARGET mocfbuild)
  list(APPEND MOCF_MAN_PAGES mocfbuild.1)
endif()
find_program(MOCF_GZIP gzip)
if(MOCF_COMPRESS_MAN AND MOCF_GZIP)
  set(MOCF_MAN_FILES)
  foreach(page ${MOCF_MAN_PAGES})
    set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${MOCF_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/man/${page} > ${out}
      DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}
      VERBATIM)
    list(APPEND MOCF_MAN_FILES ${out})
  endforeach()
  add_custom_target(man ALL DEPENDS ${MOCF_MAN_FILES})
else()
  list(TRANSFORM MOCF_MAN_PAGES PREPEND ${CMAKE_SOURCE_DIR}/man/ OUTPUT_VARIABLE MOCF_MAN_FILES)
endif()
install(FILES ${MOCF_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# bash-completion loads a command's completion from a file of its name.
foreach(program mocftool mocfinfo mocfbuild)
  install(FILES ${CMAKE_SOURCE_DIR}/completion/mocftool.bash
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME ${program})
endforeach()

# Debian looks for a package's license in its copyright file.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/mocftool
  RENAME copyright)

# cpack -G DEB in the build directory: one package with the programs, their
# manual pages and the library package, installed under /usr.
set(CPACK_PACKAGE_NAME mocftool)
set(CPACK_PACKAGE_VENDOR "mocftool developers")
set(CPACK_PACKAGE_CONTACT "mocftool developers <mocftool@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build and inspect MOCF configuration files")
# Debian shows the long description line by line as given: keep lines short.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "mocftool builds MOCF files, the binary containers of tagged records that a"
  "device receives as its configuration, one record per run: user files, menu"
  "settings, software keys, custom defaults, firmware and raw records. Every"
  "image it writes carries a fresh SHA-1 hash and has passed the Gen6 check."
  "mocfbuild builds a whole MOCF from a list of such runs, in one pass and"
  "to the very bytes the runs would give."
  "mocfinfo lists and verifies MOCF files and extracts their records."
  "The package also holds the format library (static, with its headers) as"
  "the CMake package mocf.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
