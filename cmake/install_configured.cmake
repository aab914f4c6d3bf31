# Run when installing: installs each of configured_files into the folder
# configured_destination under this install's prefix, with "@bindir@" replaced
# by the programs' folder under that prefix: a menu entry and pkexec's policy
# name a program by its full path, which only the install knows (a package is
# installed under another prefix than a plain install). configured_work holds
# the copies.
foreach(source IN LISTS configured_files)
  get_filename_component(name "${source}" NAME)
  file(READ "${source}" contents)
  string(REPLACE "@bindir@" "${CMAKE_INSTALL_PREFIX}/${configured_bindir}" contents "${contents}")
  file(WRITE "${configured_work}/${name}" "${contents}")
  file(INSTALL "${configured_work}/${name}" DESTINATION "${CMAKE_INSTALL_PREFIX}/${configured_destination}")
endforeach()
