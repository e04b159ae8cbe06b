# `cmake --install build --prefix DIR`: the two programs, and what makes the player a desktop
# application: its menu entry and Audio-CD entry, the MIME types of its lists and mixes, and its
# icon at the icon theme's sizes. The desktop files are made at build time by
# quandel-desktop-files from the texts the player itself registers per user.
include(GNUInstallDirs)
set(QUANDEL_DESKTOP_OUT ${PROJECT_BINARY_DIR}/desktop)
add_custom_command(OUTPUT ${QUANDEL_DESKTOP_OUT}/quandel-player.desktop
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:quandel-desktop-files> ${QUANDEL_DESKTOP_OUT}
    DEPENDS quandel-desktop-files
    COMMENT "Writing the desktop entries, MIME package and icons"
    VERBATIM)
add_custom_target(quandel_desktop_files ALL DEPENDS ${QUANDEL_DESKTOP_OUT}/quandel-player.desktop)

install(TARGETS quandel-player quandel-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${QUANDEL_DESKTOP_OUT}/quandel-player.desktop ${QUANDEL_DESKTOP_OUT}/quandel-player-audiocd.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUANDEL_DESKTOP_OUT}/quandel-player.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(DIRECTORY ${QUANDEL_DESKTOP_OUT}/icons DESTINATION ${CMAKE_INSTALL_DATADIR})
# The controller mappings the program ships, found beside the binary's share folder.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/mappings/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quandel-player/mappings
    FILES_MATCHING PATTERN "*.midimap")
