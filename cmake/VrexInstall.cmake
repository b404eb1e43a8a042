# Installs the program the way desktops expect it (binary, desktop entry, icons
# in the hicolor theme, AppStream metainfo) and packages it as a .deb with CPack.
include(GNUInstallDirs)

# One reverse-DNS id names the desktop entry, the icon and the metainfo file;
# desktops and software centres match them by it.
set(VREX_APP_ID example.orvane.VrexExplorer)
target_compile_definitions(vrex_app PRIVATE VREX_APP_ID="${VREX_APP_ID}")
set(VREX_ICON_SIZES 16 32 48 64 128 256)
set(vrex_desktop_src ${PROJECT_SOURCE_DIR}/resources/desktop)
set(vrex_icon_svg ${PROJECT_SOURCE_DIR}/resources/icons/vrex.svg)
set(vrex_icon_build ${CMAKE_BINARY_DIR}/icons)

install(TARGETS vrex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${vrex_desktop_src}/${VREX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${vrex_desktop_src}/${VREX_APP_ID}.metainfo.xml
               ${CMAKE_BINARY_DIR}/${VREX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${VREX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${vrex_icon_svg}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VREX_APP_ID}.svg)

# Bitmap icons for desktops and panels that do not scale SVG, drawn from the
# one SVG at build time so only the source is kept in git.
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  set(vrex_pngs)
  foreach(size IN LISTS VREX_ICON_SIZES)
    set(png ${vrex_icon_build}/${size}x${size}/${VREX_APP_ID}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${vrex_icon_build}/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${vrex_icon_svg}
      DEPENDS ${vrex_icon_svg}
      VERBATIM)
    list(APPEND vrex_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(vrex_icons ALL DEPENDS ${vrex_pngs})
else()
  message(WARNING "rsvg-convert (Debian package librsvg2-bin) not found: "
                  "the PNG icons are not built and not installed")
endif()

set(CPACK_PACKAGE_NAME vrex-explorer)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane <vrex@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop FTP client that shows FTP sites like local folders")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Vrex Explorer keeps a book of FTP sites and shows a site's folders as a tree and "
       "the chosen folder's files as a list. Downloads and uploads go through one queue "
       "that runs now or at a chosen time of day; a watch list fetches remote files again "
       "when the copy on the site is newer.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.orvane.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plug-ins or data at run time, so the library scan cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme, shared-mime-info")
include(CPack)
