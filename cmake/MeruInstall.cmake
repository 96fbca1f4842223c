# Installing MERU like any desktop program, and its Debian package.
#
#   cmake --install build --prefix /usr/local      (make install PREFIX=...)
#   cpack --config build/CPackConfig.cmake -G DEB  (make package)
#
# Installed: meru and meru-file in bin, the menu entry, the icon (SVG and
# PNGs) in the hicolor theme, the manual pages and, in share/doc/meru, the
# copyright file and the changelog. The package reuses the build folder's
# binaries; CPack strips its own copies.

include(GNUInstallDirs)

set(MERU_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(MERU_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
set(MERU_PACKAGE_MAINTAINER "MERU maintainers <maintainers@meru.example.org>"
    CACHE STRING "Maintainer field of the Debian package")
# PNG sizes of the icon in the hicolor theme (the SVG serves every other size).
set(MERU_ICON_SIZES 16 22 24 32 48 64 128 256)

install(TARGETS meru-file RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET meru)
  install(TARGETS meru RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${MERU_PACKAGING_DIR}/meru.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icon_128.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME meru.svg)

  # PNGs are made from the SVG at build time; without the converter the
  # theme still has the scalable icon.
  find_program(MERU_RSVG_CONVERT rsvg-convert)
  if(MERU_RSVG_CONVERT)
    set(pngs)
    foreach(size ${MERU_ICON_SIZES})
      set(png ${MERU_PACKAGING_OUT}/icons/${size}x${size}/meru.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${MERU_PACKAGING_OUT}/icons/${size}x${size}
        COMMAND ${MERU_RSVG_CONVERT} --width ${size} --height ${size} --format png
                --output ${png} ${PROJECT_SOURCE_DIR}/resources/icon_128.svg
        DEPENDS ${PROJECT_SOURCE_DIR}/resources/icon_128.svg
        COMMENT "Icon ${size}x${size}" VERBATIM)
      list(APPEND pngs ${png})
      install(FILES ${png}
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(meru_icons ALL DEPENDS ${pngs})
  else()
    message(WARNING "rsvg-convert not found (Debian: librsvg2-bin): "
                    "only the scalable icon is installed")
  endif()
endif()

# Manual pages and the Debian changelog, gzipped as Debian wants them (-n:
# no name or time stamp inside, so the same source gives the same bytes).
find_program(MERU_GZIP gzip REQUIRED)
set(MERU_MAN_PAGES meru-file)
if(TARGET meru)
  list(APPEND MERU_MAN_PAGES meru)
endif()
set(gzipped)
foreach(page ${MERU_MAN_PAGES})
  set(gz ${MERU_PACKAGING_OUT}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MERU_PACKAGING_OUT}/man
    COMMAND ${MERU_GZIP} -9 -n -c ${MERU_PACKAGING_DIR}/man/${page}.1 > ${gz}
    DEPENDS ${MERU_PACKAGING_DIR}/man/${page}.1
    COMMENT "Manual page ${page}(1)")
  list(APPEND gzipped ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(changelog_gz ${MERU_PACKAGING_OUT}/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MERU_PACKAGING_OUT}
  COMMAND ${MERU_GZIP} -9 -n -c ${MERU_PACKAGING_DIR}/changelog > ${changelog_gz}
  DEPENDS ${MERU_PACKAGING_DIR}/changelog
  COMMENT "Debian changelog")
add_custom_target(meru_docs ALL DEPENDS ${gzipped} ${changelog_gz})
install(FILES ${MERU_PACKAGING_DIR}/copyright ${changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME meru)
set(CPACK_PACKAGE_VENDOR "MERU developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${MERU_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "personal organiser in the notification area")
set(CPACK_PACKAGE_DESCRIPTION
"MERU is a small tray-resident organiser for the X11 desktop. It keeps a paged
plain-text notebook, a history of every text copied on the desktop (Ctrl+1 to
Ctrl+5 bring an entry back from any program), twenty named groups of web
bookmarks and an address book from which plain-text mail is sent through an
SMTP server or handed to the desktop's mail program. All data live in one
binary data file, optionally scrambled with a password.
.
The package also holds meru-file, which reads and writes the data file as
JSON without a display, for backups and scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MERU_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's X11 platform plugin, loaded at run time, comes with libqt6gui6, which
# dpkg-shlibdeps finds anyway; the SVG pictures are drawn by libqt6svg6,
# which the program links. libssl is loaded at run time for mail over TLS,
# so dpkg-shlibdeps cannot see it: it is named here.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 (>= 3.0.0)")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
