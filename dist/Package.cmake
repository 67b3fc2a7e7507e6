# The Debian package: in a build configured for it,
#   cpack -G DEB
# gives wibblet_<version>_amd64.deb with the install layout of CMakeLists.txt
# under /usr, a manual page, the copyright and changelog Debian asks for, and a postinst that
# lets the program bind port 1001 (debian/). scripts/test-package.sh builds,
# checks, installs and runs it.

# Packages the program needs but does not link, so dpkg-shlibdeps cannot find
# them: the window system plugins, the SVG icon engine, setcap for postinst.
set(WIBBLET_DEB_RUNTIME "qt6-qpa-plugins, libqt6svg6, libcap2-bin")
# The fonts the windows are drawn with: every font package, here and on this
# one line (scripts/test-package.sh reads it).
set(WIBBLET_DEB_FONTS "fonts-ipafont-gothic")

set(_doc share/doc/wibblet)
install(FILES debian/copyright DESTINATION ${_doc})
# Debian wants it compressed to the maximum and without a time stamp.
set(_changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS debian/changelog)
execute_process(COMMAND sh -c "gzip -9n -c '${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog' > '${_changelog}'"
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${_changelog} DESTINATION ${_doc})

set(_manual ${CMAKE_CURRENT_BINARY_DIR}/wibblet.1.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS wibblet.1)
execute_process(COMMAND sh -c "gzip -9n -c '${CMAKE_CURRENT_SOURCE_DIR}/wibblet.1' > '${_manual}'"
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${_manual} DESTINATION share/man/man1)

file(STRINGS debian/changelog _latest LIMIT_COUNT 1)
if(NOT _latest MATCHES "^wibblet \\(${PROJECT_VERSION}\\) ")
  message(WARNING "dist/debian/changelog has no entry for version ${PROJECT_VERSION} yet")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wibblet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Wibblet maintainers <maintainers@users.noreply.c-seed-58cb41dd.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serverless LAN messenger with pop-up messages")
set(CPACK_PACKAGE_DESCRIPTION
    "Wibblet lives in the tray, announces its user on the local network by UDP\n"
    "broadcast, keeps a list of the hosts it has heard of, and shows every\n"
    "received message in a pop-up window whose title, button caption and icon\n"
    "the sender chose. It talks to IP Messenger-compatible clients in its\n"
    "emulation mode. The user interface is Japanese.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# Installed under /usr; the install steps see the final prefix, the files go
# to the staging folder (DESTDIR), so links and the desktop entry are right.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${WIBBLET_DEB_RUNTIME}, ${WIBBLET_DEB_FONTS}")
# Qt's own texts (the text boxes' context menus) in Japanese; without it they
# stay English and nothing else changes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
