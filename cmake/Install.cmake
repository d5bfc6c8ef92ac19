# Installation and the Debian package.
#
# An installed copy keeps its programs in <prefix>/bin and everything they read
# in <prefix>/share/halvex (the database, help pages and English catalogue);
# the programs find it from their own location. Settings are each user's own
# (under ~/.config/halvex) and are never installed.
include(GNUInstallDirs)

set(HALVEX_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/halvex)

install(TARGETS halvex-cli halvex-drive-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The drawing module halvex-cli loads for its pictures, where it looks for it
# (<prefix>/lib/halvex beside <prefix>/bin): private to the program.
if(TARGET halvex_draw)
  install(TARGETS halvex_draw LIBRARY DESTINATION lib/halvex)
endif()
if(HALVEX_BUILD_GUI)
  install(TARGETS halvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${HALVEX_BIN_DIR}/i18n/halvex_en.qm DESTINATION ${HALVEX_SHARE_DIR}/i18n)
endif()
install(FILES ${HALVEX_BIN_DIR}/DATA.sqlite DESTINATION ${HALVEX_SHARE_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/help/ DESTINATION ${HALVEX_SHARE_DIR}/HelpFile)

# Desktop integration: menu entry, icons, AppStream metainfo.
set(HALVEX_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)
install(FILES ${HALVEX_DESKTOP_DIR}/org.halvex.Configurator.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${HALVEX_DESKTOP_DIR}/org.halvex.Configurator.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${HALVEX_DESKTOP_DIR}/halvex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${HALVEX_DESKTOP_DIR}/icons/halvex-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME halvex.png)
endforeach()

# Manual pages, compressed as Debian's policy wants them.
set(HALVEX_MAN_PAGES halvex.1 halvex-cli.1 halvex-drive-sim.1)
set(man_outputs)
foreach(page IN LISTS HALVEX_MAN_PAGES)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "gzip -9nc '${CMAKE_SOURCE_DIR}/man/${page}' > '${out}'"
    DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}
    VERBATIM)
  list(APPEND man_outputs ${out})
endforeach()
add_custom_target(halvex_man ALL DEPENDS ${man_outputs})
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: halvex_<version>_<arch>.deb with its library
# dependencies computed from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Halvex")
set(CPACK_PACKAGE_CONTACT "Halvex Configurator developers <configurator@halvex.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up, tune and diagnose stepper and servo drives")
set(CPACK_PACKAGE_DESCRIPTION "Halvex Configurator connects a PC over a serial line to a Halvex stepper or
servo drive: parameters, waveform capture and plot, frequency analysis, run
test and tuning, alarms and a setup wizard. A simulated drive is included.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://halvex.org/configurator")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the library scan cannot see them: the X11/Wayland
# platform plugins of Qt.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Chinese glyphs for the default interface, and Qt's own Chinese button texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
