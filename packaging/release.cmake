# The Linux release: manual pages, install rules and the Debian package.
#   cmake --install build --prefix P     installs into P
#   (cd build && cpack -G DEB)           makes updater_<version>_<arch>.deb
include(GNUInstallDirs)

# Manual pages. cardsim's options and faults come from its --help at build
# time, so the page cannot drift from the program.
set(MAN_SOURCE ${PROJECT_SOURCE_DIR}/man)
set(MAN_BUILD ${PROJECT_BINARY_DIR}/man)
configure_file(${MAN_SOURCE}/updater.1.in ${MAN_BUILD}/updater.1 @ONLY)
configure_file(${MAN_SOURCE}/updater-rack.1.in ${MAN_BUILD}/updater-rack.1 @ONLY)
configure_file(${MAN_SOURCE}/cardsim.1.in ${MAN_BUILD}/cardsim.1.in @ONLY)
add_custom_command(OUTPUT ${MAN_BUILD}/cardsim.1
  COMMAND ${MAN_SOURCE}/help-to-roff $<TARGET_FILE:cardsim> ${MAN_BUILD}/cardsim.1.in
          ${MAN_BUILD}/cardsim.1
  DEPENDS cardsim ${MAN_SOURCE}/help-to-roff ${MAN_BUILD}/cardsim.1.in
  COMMENT "Writing cardsim.1 from cardsim --help")
set(UPDATER_MANUAL_PAGES ${MAN_BUILD}/cardsim.1 ${MAN_BUILD}/updater.1 ${MAN_BUILD}/updater-rack.1)

# Manual pages and the changelog are installed compressed, as Debian does.
set(GZ_BUILD ${PROJECT_BINARY_DIR}/gz)
set(UPDATER_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/changelog)
foreach(file ${UPDATER_MANUAL_PAGES} ${UPDATER_CHANGELOG})
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${GZ_BUILD}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${GZ_BUILD}/${name}
    COMMAND gzip -9nf ${GZ_BUILD}/${name}
    DEPENDS ${file})
  list(APPEND compressed ${GZ_BUILD}/${name}.gz)
endforeach()
add_custom_target(release_documents ALL DEPENDS ${compressed})

install(TARGETS updater cardsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The rack runs the updater installed beside it.
install(PROGRAMS scripts/rack DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME updater-rack)
install(FILES ${GZ_BUILD}/updater.1.gz ${GZ_BUILD}/cardsim.1.gz ${GZ_BUILD}/updater-rack.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md packaging/copyright ${GZ_BUILD}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The documents the README names, at the same docs/ paths, with the plots
# they show.
install(FILES docs/architecture.md docs/reliability.md docs/performance.md docs/mutation.md
              docs/timing.md
              docs/performance-viper.png docs/performance-rack.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

set(CPACK_PACKAGE_NAME updater)
# Also named in packaging/changelog.
set(CPACK_PACKAGE_CONTACT "updater maintainers <updater@example.com>")
set(CPACK_PACKAGE_DESCRIPTION
"updater writes firmware and configuration into a video-converter card (DVI,
HDMI or SDI in; SDI, DVI or HDMI out) over an RS-232 serial port: the FPGA,
the video processor's flash devices, the micro's firmware, the EDID and the
gamma table, one job per run. updater-rack runs one job on many ports at
once, a log for each. cardsim, a virtual card on a pseudo-terminal, runs
every job without a card.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# updater-rack is a Python 3 script; the libraries' dependencies are added.
set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
