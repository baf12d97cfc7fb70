# What a system install gets besides the programs: manual pages, shell
# completion, the licence; and the Debian package made from that install.

# The pages name the version and the data folder of this build.
set(_man_pages quorvane-cli.1)
if(QUORVANE_GUI)
  list(APPEND _man_pages quorvane.1)
endif()
foreach(page ${_man_pages})
  configure_file(docs/man/${page}.in docs/man/${page} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/docs/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(FILES src/cli/data/quorvane-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quorvane-cli)
