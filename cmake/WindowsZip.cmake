# cpack -G ZIP in a Windows build folder: mocftool-VERSION-win64.zip with
# the programs, the README and each manual page as plain text.
install(TARGETS mocftool mocfinfo mocfbuild mocfedit mocfsign RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)

# The pages rendered by groff as plain text, with Windows line ends.
find_program(MOCF_GROFF groff REQUIRED)
set(MOCF_TEXT_PAGES)
foreach(page mocftool mocfinfo mocfbuild mocfedit mocfsign)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.txt)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env GROFF_NO_SGR=1
            ${MOCF_GROFF} -man -Tascii -P-cbou ${CMAKE_SOURCE_DIR}/man/${page}.1 > ${out}.lf
    COMMAND ${CMAKE_COMMAND} -DIN=${out}.lf -DOUT=${out} -P ${CMAKE_SOURCE_DIR}/cmake/CrLf.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}.1 ${CMAKE_SOURCE_DIR}/cmake/CrLf.cmake
    VERBATIM)
  list(APPEND MOCF_TEXT_PAGES ${out})
endforeach()
add_custom_target(man ALL DEPENDS ${MOCF_TEXT_PAGES})
# cmake --install after building the programs alone finds the pages too.
foreach(program mocftool mocfinfo mocfbuild mocfedit mocfsign)
  add_dependencies(${program} man)
endforeach()
install(FILES ${MOCF_TEXT_PAGES} DESTINATION .)

set(CPACK_PACKAGE_NAME mocftool)
set(CPACK_PACKAGE_VENDOR "mocftool developers")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME mocftool-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
