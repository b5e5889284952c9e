# What `cmake --install` puts where, and the Debian package built from it
# (scripts/package.sh). Paths are relative to the prefix, so the same rules
# serve /usr/local and the package's /usr.
include(GNUInstallDirs)

set(TARVELO_BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
set(TARVELO_DATADIR ${CMAKE_INSTALL_FULL_DATADIR}/tarvelo)
set(TARVELO_DOCDIR ${CMAKE_INSTALL_FULL_DATADIR}/doc/tarvelo)

install(TARGETS tarvelo tarvelo-hub tarvelo-pimsim tarvelo-vbs tarvelo-xap RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop library: the program looks for it in lib/tarvelo beside its bin folder.
install(TARGETS tarvelo_ui LIBRARY DESTINATION lib/tarvelo)
# The pages' files: the program finds them in share/tarvelo/HTML beside its bin folder.
install(DIRECTORY data/HTML DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvelo)
# The demo installation, to copy and try with tarvelo-pimsim.
install(DIRECTORY data/demo DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvelo)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvelo)

# systemd's own folders under the prefix (/usr/lib/systemd/system on Debian).
foreach(unit tarvelo tarvelo-hub)
  configure_file(packaging/${unit}.service.in ${CMAKE_BINARY_DIR}/packaging/${unit}.service @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${unit}.service DESTINATION lib/systemd/system)
endforeach()
install(FILES packaging/tarvelo.sysusers DESTINATION lib/sysusers.d RENAME tarvelo.conf)

set(CPACK_GENERATOR DEB)
# The unit files name the programs under the same prefix the package installs to.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_NAME tarvelo)
set(CPACK_PACKAGE_VENDOR "Tarvelo")
set(CPACK_PACKAGE_CONTACT "Tarvelo maintainers <tarvelo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "UPB powerline to xAP gateway with status pages and scripts")
set(CPACK_PACKAGE_DESCRIPTION
    "Bridges a UPB powerline network (through a PIM on a serial port or a TCP serial bridge) and the\n"
    "xAP home-automation protocol, serves status pages over HTTP and runs VBScript. Installs the\n"
    "tarvelo and tarvelo-hub services, the PIM simulator and a demo installation.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The daemon needs Qt's core, network, serial port and SQL libraries; the
# desktop (tray icon and windows) is only loaded with a display, so Qt Widgets
# is a recommendation and a server stays free of the X libraries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6sql6 (>= 6.4), libqt6sql6-sqlite (>= 6.4), adduser | systemd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4)")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
