# What `cmake --install` and the Debian package put where: the program, its resources, the
# desktop entry, the icons and the licences.
install(FILES ${PROJECT_SOURCE_DIR}/data/sorelwick.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The icon theme's tree that tools/icon draws at build time (16 to 256 pixels and SVG).
install(DIRECTORY ${SORELWICK_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
# Debian reads a package's licences from doc/<package>/copyright; other distributions from licenses/.
install(FILES ${PROJECT_SOURCE_DIR}/data/Licenses.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sorelwick
        RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/data/Licenses.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/licenses/sorelwick)

# ---------------------------------------------------------------- the Debian package
set(CPACK_PACKAGE_NAME sorelwick)
set(CPACK_PACKAGE_VENDOR "Sorelwick")
set(CPACK_PACKAGE_CONTACT "Sorelwick developers <sorelwick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes Hanja for the Korean word you select")
set(CPACK_PACKAGE_DESCRIPTION "Select a Korean word in any application, press Ctrl+Alt+H and pick a Hanja\n"
    "spelling from a small panel: 수도를 becomes 수도(首都)를, 首都(수도)를 or 首都를.\n"
    "Text typed on the wrong keyboard layout is offered converted. Nothing leaves the machine.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # sorelwick_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binary (dpkg-shlibdeps); the dictionary's source is read at build
# time only, but libhangul-data also keeps the licence the dictionary inherits on the machine.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libhangul-data")
# Without the accessibility bus only the clipboard way works; without a CJK font Hanja show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core, fonts-noto-cjk")
include(CPack)
