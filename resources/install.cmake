# What `cmake --install` adds around the program: the executable and the files
# it keeps beside it go to lib/quarrow/ (shell/ and the beside/ rules above);
# here come the launcher in bin/, the icon and the desktop entry, so that
# Quarrow appears in the application menu and opens web addresses and HTML
# files.

# bin/quarrow: a relative symbolic link to lib/quarrow/quarrow. The program
# finds its own folder through the real path of its executable, so its
# working files and beside files are found through the link too.
install(CODE [[
    set(quarrow_bin "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
    file(MAKE_DIRECTORY "${quarrow_bin}")
    file(REMOVE "${quarrow_bin}/quarrow")
    file(CREATE_LINK "../lib/quarrow/quarrow" "${quarrow_bin}/quarrow" SYMBOLIC)
    message(STATUS "Installing: ${quarrow_bin}/quarrow -> ../lib/quarrow/quarrow")
]])

# The program's mark at every size the icon theme uses.
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/app/icons/hicolor/quarrow-${size}.png
        DESTINATION share/icons/hicolor/${size}x${size}/apps
        RENAME quarrow.png)
endforeach()

install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/quarrow.desktop DESTINATION share/applications)
