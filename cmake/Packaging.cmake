# What a system install gets besides the programs: manual pages, shell
# completion, the licence; and the Debian package made from that install.

# The pages name the version and the data folder of this build; they are
# installed compressed, as Debian wants them.
set(_man_pages quorvane-cli.1)
if(QUORVANE_GUI)
  list(APPEND _man_pages quorvane.1)
endif()
set(_man_gz)
foreach(page ${_man_pages})
  set(_page ${PROJECT_BINARY_DIR}/docs/man/${page})
  configure_file(docs/man/${page}.in ${_page} @ONLY)
  add_custom_command(OUTPUT ${_page}.gz COMMAND gzip -9nkf ${_page} DEPENDS ${_page} VERBATIM)
  list(APPEND _man_gz ${_page}.gz)
endforeach()
add_custom_target(quorvane-man ALL DEPENDS ${_man_gz})
install(FILES ${_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES src/cli/data/quorvane-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quorvane-cli)

# Debian packages want the licence as the package's copyright file.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane RENAME copyright)

# The changelog, compressed, where Debian tools look for it.
set(_changelog ${PROJECT_BINARY_DIR}/docs/changelog)
configure_file(docs/changelog ${_changelog} COPYONLY)
add_custom_command(OUTPUT ${_changelog}.gz COMMAND gzip -9nkf ${_changelog} DEPENDS ${_changelog} VERBATIM)
add_custom_target(quorvane-changelog ALL DEPENDS ${_changelog}.gz)
install(FILES ${_changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane)

# cpack -G DEB: a package of the install above. Configure with
# -DCMAKE_INSTALL_PREFIX=/usr so that the built-in paths match where the package puts things.
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "The Quorvane developers <dev@quorvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make, view and edit BitTorrent .torrent files")
set(CPACK_PACKAGE_HOMEPAGE_URL "${QUORVANE_HOMEPAGE}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorvane makes and edits BitTorrent metainfo (.torrent) files.
Pick files or a folder, choose a tracker, add back-up trackers and a comment,
let the program choose the piece length, and get a .torrent that every
BitTorrent client accepts. A second page opens an existing .torrent, shows
everything in it, and lets you edit and save it.
.
The package holds the Qt 6 desktop program (quorvane) and its command-line
companion (quorvane-cli).")
# The run-time dependencies come from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The CLI's completion works only with bash-completion installed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
