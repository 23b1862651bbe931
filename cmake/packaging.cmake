# Packages, made by scripts/package.sh with CPack from the install rules
# (cmake/install.cmake): a host build makes tallowin_<version>_<arch>.deb,
# a Windows build tallowin-<version>-windows.zip.
set(TALLOWIN_PACKAGE_CONTACT "Tallowin developers <tallowin@packages.invalid>")

set(CPACK_PACKAGE_NAME tallowin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tallowin developers")
set(CPACK_PACKAGE_CONTACT ${TALLOWIN_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds and inspects Tallowin installers for Windows")
set(CPACK_PACKAGE_DESCRIPTION "\
tallowin packs a product folder described by a TOML file into a\n\
self-contained Windows installer and lists, tests and extracts existing\n\
ones. The package carries the installer stubs it packs (32-bit and\n\
64-bit), the\n\
documentation, a sample product and a CMake package with\n\
tallowin_add_installer().")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tallowin-${PROJECT_VERSION}-windows)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Dependencies from the shared libraries the tool links.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

  # A Debian package's change log, with the version from the project.
  string(TIMESTAMP TALLOWIN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(cmake/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9 -n -f -k ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
  add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${TALLOWIN_INSTALL_DOCDIR})
endif()

include(CPack)
