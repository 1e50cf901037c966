# Runs at install time (cmake --install, cpack). The desktop entry and the
# service unit name the installed program by its path, which is known only
# now, since the prefix can be chosen at install time.
#
# They go with the icon under $HOLLVAN_SYSTEM_PREFIX when that is set (the
# package sets /usr, where desktops and systemd look), together with the
# command link bin/hollvan; otherwise everything stays under the installation
# prefix, and the administrator links what is wanted.

set(prefix "${CMAKE_INSTALL_PREFIX}")
set(system "$ENV{HOLLVAN_SYSTEM_PREFIX}")
if(system STREQUAL "")
    set(system "${prefix}")
endif()

set(HOLLVAN_PREFIX "${prefix}")
if(system STREQUAL prefix)
    # Outside the system's icon theme the entry names the icon by its path.
    set(HOLLVAN_ICON "${prefix}/share/icons/hicolor/scalable/apps/hollvan.svg")
else()
    set(HOLLVAN_ICON "hollvan")
endif()

foreach(name hollvan.desktop hollvan.service)
    file(READ "${HOLLVAN_PACKAGING_SOURCE_DIR}/${name}.in" content)
    string(CONFIGURE "${content}" content @ONLY)
    file(WRITE "${HOLLVAN_PACKAGING_BINARY_DIR}/${name}" "${content}")
endforeach()

file(INSTALL DESTINATION "${system}/share/applications" TYPE FILE
     FILES "${HOLLVAN_PACKAGING_BINARY_DIR}/hollvan.desktop")
file(INSTALL DESTINATION "${system}/share/icons/hicolor/scalable/apps" TYPE FILE
     FILES "${HOLLVAN_PACKAGING_SOURCE_DIR}/hollvan.svg")
file(INSTALL DESTINATION "${system}/lib/systemd/system" TYPE FILE
     FILES "${HOLLVAN_PACKAGING_BINARY_DIR}/hollvan.service")

if(NOT system STREQUAL prefix)
    set(link "$ENV{DESTDIR}${system}/bin/hollvan")
    message(STATUS "Installing: ${link} -> ${prefix}/bin/hollvan-launch")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${system}/bin")
    file(CREATE_LINK "${prefix}/bin/hollvan-launch" "${link}" SYMBOLIC)
endif()
