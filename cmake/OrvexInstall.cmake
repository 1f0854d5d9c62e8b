# What `cmake --install` puts under the prefix: the two programs, the resources the desktop
# app finds in share/orvex (see src/application/ResourceFinder.h), the desktop entry and the
# icons in the freedesktop icon theme.
include(GNUInstallDirs)

foreach(program orvex orvex-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(orvex_resources ${PROJECT_SOURCE_DIR}/resources)
install(FILES
  ${orvex_resources}/quickstart.html
  ${orvex_resources}/orvn.aif
  ${orvex_resources}/finished-new.aiff
  ${orvex_resources}/demo.wav
  ${orvex_resources}/selectionStart.png
  ${orvex_resources}/selectionEnd.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/orvex)
install(DIRECTORY ${orvex_resources}/icons DESTINATION ${CMAKE_INSTALL_DATADIR}/orvex)

install(FILES ${orvex_resources}/orvex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${orvex_resources}/icons/orvex.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES ${orvex_resources}/icons/orvex-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME orvex.png)
endforeach()
