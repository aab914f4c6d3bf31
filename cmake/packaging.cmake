# Install rules for the two programs, and the Debian package script/package
# makes of them with CPack; on Windows it packs the install into a zip itself.
# Files only a package carries (the zip's readme, the deb's changelog,
# copyright and lintian overrides) are the component "package", left out of a
# plain install.
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

# Installs the files into the folder under the data folder, with "@bindir@"
# replaced when installing (install_configured.cmake).
function(install_configured destination)
  install(CODE "set(configured_files \"${ARGN}\")
                set(configured_destination \"${CMAKE_INSTALL_DATADIR}/${destination}\")
                set(configured_bindir \"${CMAKE_INSTALL_BINDIR}\")
                set(configured_work \"${CMAKE_CURRENT_BINARY_DIR}/configured\")")
  install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/install_configured.cmake)
endfunction()

if(WIN32)
  # The exes at the top of the folder, beside the readme.
  install(TARGETS ${programs} RUNTIME DESTINATION .)
  configure_file(${PORTCFG_PACKAGING}/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION . COMPONENT package EXCLUDE_FROM_ALL)
else()
  include(GNUInstallDirs)
  install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Each program's manual page names the server tree it was built for.
  foreach(program IN LISTS programs)
    configure_file(${PORTCFG_PACKAGING}/${program}.1 ${program}.1 @ONLY)
    execute_process(COMMAND gzip -9n --stdout ${CMAKE_CURRENT_BINARY_DIR}/${program}.1
                    OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/${program}.1.gz COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  # The menu entries start the programs through pkexec, whose policy lets an
  # administrator's password run them, windows and all.
  list(TRANSFORM programs APPEND .desktop OUTPUT_VARIABLE entries)
  list(TRANSFORM entries PREPEND ${PORTCFG_PACKAGING}/)
  install_configured(applications ${entries})
  install_configured(polkit-1/actions ${PORTCFG_PACKAGING}/example.portconfig.policy)
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
  # The deb's menu entries start the programs through pkexec; lintian does not
  # know it as a way to run a program as root.
  install(FILES ${PORTCFG_PACKAGING}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME ${PROJECT_NAME} COMPONENT package EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR DEB)
  # The install sees the packaged prefix (/usr), which the menu entries and
  # the policy name.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pkexec)
  set(CPACK_PACKAGE_DESCRIPTION "\
portsetup, the port page of the server's setup, lists the ports in use and
proposes the configured one; it writes the chosen port into the Listen lines
of ${PORTCFG_APACHE_ROOT}/conf/httpd.conf, then runs bin/httpd -k install and
-k start there. portchange changes the port of a server already installed,
then runs its -k stop and -k start.")
  include(CPack)
endif()
