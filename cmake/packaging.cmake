# Install rules for the two programs, and the package script/package makes of
# them with CPack: a zip on Windows, a Debian package elsewhere. Files only a
# package carries (the zip's readme, the deb's changelog and copyright) are the
# component "package", left out of a plain install.
set(PORTCFG_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_PACKAGE_CONTACT "portconfig maintainers <maintainers@portconfig.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set the port the local Apache HTTP Server listens on")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/"
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};package;/")

set(programs)
foreach(program portsetup portchange)
  if(TARGET ${program})
    list(APPEND programs ${program})
  endif()
endforeach()
if(NOT programs)
  return()
endif()

if(WIN32)
  # The exes at the top of the folder, beside the readme.
  install(TARGETS ${programs} RUNTIME DESTINATION .)
  configure_file(${PORTCFG_PACKAGING}/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION . COMPONENT package EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR ZIP)
else()
  include(GNUInstallDirs)
  install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(TRANSFORM programs APPEND .desktop OUTPUT_VARIABLE entries)
  list(TRANSFORM entries PREPEND ${PORTCFG_PACKAGING}/)
  install(FILES ${entries} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  # The menu icon is the picture the windows draw, its frames exported when
  # installing, so only an install or a package needs ImageMagick.
  install(CODE "set(icon_source \"${PROJECT_SOURCE_DIR}/gui/computer.ico\")
                set(icon_work \"${CMAKE_CURRENT_BINARY_DIR}/icons\")
                set(icon_theme \"${CMAKE_INSTALL_DATADIR}/icons/hicolor\")")
  install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/install_icon.cmake)

  # Debian wants a changelog and a copyright notice in every package.
  file(STRINGS ${PORTCFG_PACKAGING}/changelog latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: its first entry is not for ${PROJECT_VERSION}")
  endif()
  configure_file(${PORTCFG_PACKAGING}/changelog changelog @ONLY)
  configure_file(${PORTCFG_PACKAGING}/copyright copyright @ONLY)
  execute_process(COMMAND gzip -9n --stdout ${CMAKE_CURRENT_BINARY_DIR}/changelog
                  OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_BINARY_DIR}/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT package EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION "\
portsetup, the port page of the server's setup, lists the ports in use and
proposes the configured one; it writes the chosen port into the Listen lines
of ${PORTCFG_APACHE_ROOT}/conf/httpd.conf, then runs bin/httpd -k install and
-k start there. portchange changes the port of a server already installed,
then runs its -k stop and -k start.")
endif()

include(CPack)
