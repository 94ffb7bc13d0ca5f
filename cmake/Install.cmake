# Install rules and the packages: the Debian package, and on Windows a zip.
# Included from the top-level CMakeLists.txt once the targets exist.
include(CMakePackageConfigHelpers)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsZip.cmake)
  return()
endif()

# Four Debian packages, the Debian way: libmocf1 (the shared library),
# libmocf-dev (headers, static library, CMake and pkg-config files),
# mocftool (the programs, their pages and completion) and python3-mocf (the
# Python package).
install(TARGETS mocftool mocfinfo mocfbuild mocfedit mocfsign RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  COMPONENT tools)

install(TARGETS mocf_shared EXPORT mocfTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev)
install(TARGETS mocf_static EXPORT mocfTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
# Only the public API: the engine's own headers stay in the source tree.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/mocf DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT dev)

set(MOCF_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mocf)
install(EXPORT mocfTargets NAMESPACE mocf:: DESTINATION ${MOCF_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/mocfConfig.cmake.in
  ${CMAKE_BINARY_DIR}/mocfConfig.cmake INSTALL_DESTINATION ${MOCF_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/mocfConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/mocfConfig.cmake ${CMAKE_BINARY_DIR}/mocfConfigVersion.cmake
  DESTINATION ${MOCF_CMAKE_DIR} COMPONENT dev)
# Relocatable: the prefix is found from where the file lies.
file(RELATIVE_PATH MOCF_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" MOCF_PC_TO_PREFIX "${MOCF_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/mocf.pc.in ${CMAKE_BINARY_DIR}/mocf.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/mocf.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)

# Manual pages. Debian installs them gzip'd (man reads either form), so they
# are compressed in the build when gzip is there; -n keeps the archive free of
# names and times, so the package is the same from one build to the next.
option(MOCF_COMPRESS_MAN "Install the manual pages gzip'd" ON)
set(MOCF_MAN_PAGES mocftool.1 mocfinfo.1 mocfbuild.1 mocfedit.1 mocfsign.1)
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
install(FILES ${MOCF_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)

# The README's first command builds the programs alone, and cmake --install
# must find every file right after it: the programs bring the pages and the
# shared library along, the latter only a link of objects they compile
# anyway. The Python package installs from the sources and from files made
# at configure time, so it needs nothing built.
foreach(program mocftool mocfinfo mocfbuild mocfedit mocfsign)
  add_dependencies(${program} mocf_shared)
  if(TARGET man)
    add_dependencies(${program} man)
  endif()
endforeach()

# bash-completion loads a command's completion from a file of its name.
foreach(program mocftool mocfinfo mocfbuild mocfedit mocfsign)
  install(FILES ${CMAKE_SOURCE_DIR}/completion/mocftool.bash
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME ${program}
    COMPONENT tools)
endforeach()

# The Python package, without libmocf: _where.py leads it to the library of
# the lib component. Debian's python3 looks in lib/python3/dist-packages
# under /usr, where cpack installs too, and in lib/python3.X/dist-packages
# under any other prefix, X being that of the python3 found here; the prefix
# may come only at install time (cmake --install --prefix, cpack), so an
# empty MOCF_PYTHON_DIR makes the choice then.
set(MOCF_PYTHON_DIR "" CACHE STRING
  "Where the Python package mocf goes under the prefix (empty: where Debian's python3 looks)")
find_package(Python3 COMPONENTS Interpreter QUIET)
set(MOCF_PYTHON_LOCAL_DIR lib/python3/dist-packages)
if(Python3_FOUND)
  set(MOCF_PYTHON_LOCAL_DIR lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/dist-packages)
endif()
install(CODE "
  set(mocf_python_dir \"${MOCF_PYTHON_DIR}\")
  set(mocf_python_local_dir \"${MOCF_PYTHON_LOCAL_DIR}\")
  set(mocf_python_files \"${MOCF_PYTHON_INSTALL_FILES}\")
  set(mocf_library \"${CMAKE_INSTALL_LIBDIR}/$<TARGET_SONAME_FILE_NAME:mocf_shared>\")
  set(mocf_where \"${CMAKE_BINARY_DIR}/python-install/_where.py\")" COMPONENT python)
install(CODE [[
  if(NOT mocf_python_dir)
    set(mocf_python_dir ${mocf_python_local_dir})
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
      set(mocf_python_dir lib/python3/dist-packages)
    endif()
  endif()
  cmake_path(ABSOLUTE_PATH mocf_python_dir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
  cmake_path(ABSOLUTE_PATH mocf_library BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
  file(RELATIVE_PATH library "${mocf_python_dir}/mocf" "${mocf_library}")
  file(WRITE "${mocf_where}" "LIBRARY = \"${library}\"\n")
  file(INSTALL DESTINATION "${mocf_python_dir}/mocf" TYPE FILE
    FILES ${mocf_python_files} "${mocf_where}")
]] COMPONENT python)

# Debian looks for a package's license in its copyright file.
foreach(pair tools:mocftool lib:libmocf1 dev:libmocf-dev python:python3-mocf)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    RENAME copyright COMPONENT ${component})
  string(TOUPPER ${component} COMPONENT)
  set(CPACK_DEBIAN_${COMPONENT}_PACKAGE_NAME ${package})
endforeach()

# cpack -G DEB in the build directory: the four packages, under /usr.
set(CPACK_PACKAGE_NAME mocftool)
set(CPACK_PACKAGE_VENDOR "mocftool developers")
set(CPACK_PACKAGE_CONTACT "mocftool developers <mocftool@example.org>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tools lib dev python)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian shows the long description line by line as given: keep lines short.
# Each one's first line is its package's summary. There is no package-wide
# summary, as CPack would put that one before all four.
string(JOIN "\n" CPACK_COMPONENT_TOOLS_DESCRIPTION
  "build, inspect, edit and sign MOCF configuration files"
  "mocftool builds MOCF files, the binary containers of tagged records that a"
  "device receives as its configuration, one record per run: user files, menu"
  "settings, software keys, custom defaults, firmware and raw records. Every"
  "image it writes carries a fresh SHA-1 hash and has passed the Gen6 check."
  "mocfbuild builds a whole MOCF from a list of such runs, in one pass and"
  "to the very bytes the runs would give."
  "mocfinfo lists, verifies and unpacks MOCF files and extracts their records."
  "mocfedit removes, replaces and adds records anywhere in a MOCF, and sets"
  "single settings, all or nothing."
  "mocfsign signs a MOCF with a detached CMS signature, from a key file or"
  "a PKCS#11 token, and verifies one against a trust anchor.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
string(JOIN "\n" CPACK_COMPONENT_LIB_DESCRIPTION
  "library to read, verify, build, change and sign MOCF files"
  "libmocf is the engine of mocftool, mocfbuild, mocfinfo, mocfedit and"
  "mocfsign: it lists and verifies MOCF files, takes their records out,"
  "unpacks them, builds them from a list of runs, appends records, edits"
  "them in place, and signs them and checks their signatures, through a C"
  "API.")
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# A shlibs file, so that packages built against it depend on it.
set(CPACK_DEBIAN_LIB_PACKAGE_GENERATE_SHLIBS ON)
string(JOIN "\n" CPACK_COMPONENT_DEV_DESCRIPTION
  "library to read, verify, build and change MOCF files (development files)"
  "The headers of libmocf's C and C++ API (<mocf/mocf.h>, <mocf/mocf.hpp>),"
  "its static library, and the files that find it: the CMake package mocf"
  "(mocf::mocf) and the pkg-config file mocf.pc.")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libmocf1 (= ${PROJECT_VERSION})")
string(JOIN "\n" CPACK_COMPONENT_PYTHON_DESCRIPTION
  "Python library to read, verify, build, change and sign MOCF files"
  "The Python package mocf reads, verifies, builds, unpacks and compares MOCF"
  "files, appends records to them, edits them, and signs them and checks"
  "their signatures, through libmocf's C API: its rules and messages are the"
  "engine's, as in the programs.")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "libmocf1 (= ${PROJECT_VERSION}), python3")
include(CPack)
