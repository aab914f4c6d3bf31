# add_port_program(name): one of the programs, from its folder's layout table
# (form1_layout.cpp) and main.cpp. The table is a library of its own, so tests
# can build the window.
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
