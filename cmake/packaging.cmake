# What an installation holds, and the packages made of it: two Debian
# packages on Linux, one ZIP on Windows. Everything installs as one of two
# components: the program, with its manual and documents, and the
# simulation, with the stand-in library.

set(CPACK_PACKAGE_NAME watchdog-console)
set(CPACK_PACKAGE_VENDOR "The watchdog-console developers")
set(CPACK_PACKAGE_CONTACT
  "watchdog-console maintainers <maintainers@users.noreply.c-seed-ff245a84.example>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # watchdog-console.exe at the top, where the user puts the board's real
  # Vururi-Red-Ivi.dll; simulated-board\ holds a copy with the stand-in DLL.
  install(TARGETS watchdog-console RUNTIME DESTINATION . COMPONENT program)
  install(FILES README.md LICENSE DESTINATION . COMPONENT program)
  install(TARGETS watchdog-console RUNTIME DESTINATION simulated-board COMPONENT simulation)
  install(TARGETS vururi-red-ivi RUNTIME DESTINATION simulated-board COMPONENT simulation)

  # A vendor's DLL loads only into a program of its own bitness and calling
  # convention, so the file name says which this is.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(windows_flavour win64)
  elseif(WATCHDOG_STDCALL)
    set(windows_flavour win32-stdcall)
  else()
    set(windows_flavour win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME watchdog-console-${PROJECT_VERSION}-${windows_flavour})
  # Unpacked by Windows into a folder named after the file, the program
  # lands right in it.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

# The Debian changelog's newest entry is the version being built.
file(STRINGS packaging/debian/changelog newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^watchdog-console \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not begin with version ${PROJECT_VERSION}")
endif()

# Manual pages and the changelog are installed compressed, without the name
# and time stamp that would make each build's files differ.
find_program(GZIP gzip REQUIRED)
set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)
function(compressed source_file output_name)
  add_custom_command(OUTPUT ${packaging_dir}/${output_name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_dir}
    COMMAND sh -c "\"$1\" -9nc \"$2\" > \"$3\"" sh ${GZIP} ${source_file}
            ${packaging_dir}/${output_name}.gz
    DEPENDS ${source_file}
    VERBATIM)
endfunction()
set(manual_pages watchdog-console.1 watchdog-console-simulated.1)
foreach(page IN LISTS manual_pages)
  configure_file(man/${page}.in ${packaging_dir}/${page} @ONLY)
  compressed(${packaging_dir}/${page} ${page})
endforeach()
compressed(${PROJECT_SOURCE_DIR}/packaging/debian/changelog changelog)
add_custom_target(compressed-documents ALL DEPENDS
  ${packaging_dir}/watchdog-console.1.gz ${packaging_dir}/watchdog-console-simulated.1.gz
  ${packaging_dir}/changelog.gz)

install(TARGETS watchdog-console RUNTIME DESTINATION bin COMPONENT program)
install(FILES ${packaging_dir}/watchdog-console.1.gz DESTINATION share/man/man1 COMPONENT program)
install(FILES README.md packaging/debian/copyright ${packaging_dir}/changelog.gz
  DESTINATION share/doc/watchdog-console COMPONENT program)

install(TARGETS vururi-red-ivi LIBRARY DESTINATION ${simulated_board_dir} COMPONENT simulation)
install(PROGRAMS simulated-board/watchdog-console-simulated DESTINATION bin COMPONENT simulation)
install(FILES ${packaging_dir}/watchdog-console-simulated.1.gz
  DESTINATION share/man/man1 COMPONENT simulation)
install(FILES packaging/debian/copyright ${packaging_dir}/changelog.gz
  DESTINATION share/doc/watchdog-console-simulated-board COMPONENT simulation)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME watchdog-console)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SUGGESTS watchdog-console-simulated-board)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
"console test of the Ethernet watchdog board's interface library
watchdog-console tests an Ethernet watchdog board through the board's
interface library, Vururi-Red-Ivi. It reports the library's version, opens
the interface, discovers boards, looks for the board at 192.168.1.60, prints
its status values, closes the interface and waits for a key.

The board's interface library is not part of this package: install the
vendor's libVururi-Red-Ivi.so where the dynamic loader finds it, for example
in /usr/local/lib followed by ldconfig. To try the program without a board,
install watchdog-console-simulated-board.")

set(CPACK_DEBIAN_SIMULATION_PACKAGE_NAME watchdog-console-simulated-board)
set(CPACK_DEBIAN_SIMULATION_PACKAGE_DEPENDS "watchdog-console (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_SIMULATION_DESCRIPTION
"simulated watchdog board for watchdog-console
A stand-in of the Ethernet watchdog board's interface library, Vururi-Red-Ivi,
that simulates one healthy board in memory and sends no network traffic, and
watchdog-console-simulated, which runs watchdog-console against it.

The stand-in lives in a private folder where the dynamic loader does not look,
so watchdog-console itself never takes it for the real library, and it says on
standard error that no hardware is being tested.")

include(CPack)
cpack_add_component(program DISPLAY_NAME "watchdog-console")
cpack_add_component(simulation DISPLAY_NAME "Simulated board" DEPENDS program)
