# Run when installing: exports each frame of the icon (icon_source) as a PNG
# named by its size into icon_work, and installs the theme's sizes from them
# into the hicolor theme (icon_theme, under the install prefix).
find_program(convert_program convert)
if(NOT convert_program)
  message(FATAL_ERROR "Installing the icon needs ImageMagick's convert")
endif()
file(MAKE_DIRECTORY "${icon_work}")
# Without the export's time in them, so each build gives the same files.
execute_process(COMMAND "${convert_program}" "${icon_source}" -define png:exclude-chunks=date,time
                        -set filename:size "%wx%h" "PNG32:${icon_work}/%[filename:size].png"
                COMMAND_ERROR_IS_FATAL ANY)
foreach(size 16x16 32x32 48x48 256x256)
  if(NOT EXISTS "${icon_work}/${size}.png")
    message(FATAL_ERROR "${icon_source} has no ${size} picture")
  endif()
  file(INSTALL "${icon_work}/${size}.png" DESTINATION "${CMAKE_INSTALL_PREFIX}/${icon_theme}/${size}/apps"
       RENAME portconfig.png)
endforeach()
