# add_port_program(name): one of the programs, from its folder's layout table
# (form1_layout.cpp) and main.cpp. The table is a library of its own, so tests
# can build the window. On Windows the program also carries its resources.
function(add_port_program name)
  add_library(${name}_form STATIC form1_layout.cpp)
  target_include_directories(${name}_form PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_form PUBLIC portgui_common)
  add_executable(${name} WIN32 main.cpp)
  target_link_libraries(${name} PRIVATE ${name}_form portgui)

  if(WIN32)
    add_program_resources(${name})
  endif()
endfunction()

# Gives a Windows program the manifest (common controls 6, per-monitor DPI
# awareness, elevation), the icon and the version information, from
# gui/win32.
function(add_program_resources name)
  set(resources ${PROJECT_SOURCE_DIR}/gui/win32)
  set(icon ${PROJECT_SOURCE_DIR}/gui/computer.ico)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  configure_file(${resources}/program.rc.in ${script} @ONLY)
  set_source_files_properties(${script} PROPERTIES
    OBJECT_DEPENDS "${resources}/program.manifest;${resources}/resource_ids.h;${icon}")
  target_sources(${name} PRIVATE ${script})
endfunction()
