# Run by `cmake --install` after the desktop files are in place: refreshes the
# prefix's desktop database, which "Open With" lists read, and its icon cache.
# Skipped for a staged install (DESTDIR), whose files are not where they will
# live, and for each tool that is not installed.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()

find_program(CORVANA_UPDATE_DESKTOP_DATABASE update-desktop-database)
if(CORVANA_UPDATE_DESKTOP_DATABASE)
  message(STATUS "Updating the desktop database: ${CMAKE_INSTALL_PREFIX}/share/applications")
  execute_process(COMMAND ${CORVANA_UPDATE_DESKTOP_DATABASE} -q
    "${CMAKE_INSTALL_PREFIX}/share/applications")
endif()

find_program(CORVANA_GTK_UPDATE_ICON_CACHE gtk-update-icon-cache)
if(CORVANA_GTK_UPDATE_ICON_CACHE)
  message(STATUS "Updating the icon cache: ${CMAKE_INSTALL_PREFIX}/share/icons/hicolor")
  # A prefix such as ~/.local has no index.theme of its own.
  execute_process(COMMAND ${CORVANA_GTK_UPDATE_ICON_CACHE} -q -t -f
    "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor")
endif()
