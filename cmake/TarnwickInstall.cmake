# Installing the Linux program (cmake --install) and packaging it for Debian (cpack -G DEB).
# Installed layout, below the prefix:
#   bin/Tarnwick
#   share/applications/tarnwick.desktop      (its presence tells the program it is installed)
#   share/icons/hicolor/{scalable,16x16,32x32,48x48,128x128}/apps/tarnwick.{svg,png}
#   share/metainfo/tarnwick.metainfo.xml
#   share/doc/tarnwick/README.md
#   share/tarnwick/Help/                     (where the program looks for help.chm)
# The PNGs are the emblem rendered once: rsvg-convert -w N -h N emblem-on.svg.
include(GNUInstallDirs)

install(TARGETS Tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/tarnwick.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/tarnwick.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/qt/images/main/emblem-on.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME tarnwick.svg)
foreach(size 16 32 48 128)
    install(FILES ${PROJECT_SOURCE_DIR}/data/icons/tarnwick-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME tarnwick.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarnwick)
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnwick/Help)

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "The Tarnwick developers")
set(CPACK_PACKAGE_CONTACT "The Tarnwick developers <tarnwick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Chooses the browser's proxy server rule by rule")
# CPack puts the summary first and indents the rest as Debian wants it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarnwick keeps a table of proxy rules (URL and host-name patterns, subnets, \
addresses that cannot be resolved), writes them as a Proxy Auto-Config script and points \
the desktop's automatic proxy configuration at it from a switch in its notification-area icon.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The libraries the program links, as Debian packages (dpkg-shlibdeps): Qt's core, GUI (with
# its X11 platform plugin), widgets, network and D-Bus libraries, and the C++ runtime.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland platform plugin, which no library of the program links: Wayland sessions (KDE
# Plasma's and GNOME's default) run the program natively rather than through XWayland.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland")
# Opening the help file goes through the desktop's default handler.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_GENERATOR DEB)
include(CPack)
