# Install rules and the Debian package.
#
# `cmake --install BUILD [--prefix P]` (DESTDIR honoured) puts the program in
# P/bin and what it loads in P/share/quandrel; the program finds those files
# from its own location, so the prefix may be chosen at install time. The
# desktop entry, the icon, the AppStream metainfo, the man page and the bash
# completion go where the desktop and the shell look for them.
#
# `cpack -G DEB` (scripts/package) makes the Debian package; its library
# dependencies come from dpkg-shlibdeps, so whatever the program links is
# listed without naming libraries here.

include(GNUInstallDirs)

set(QDL_APPSTREAM_ID "org.quandrel.Quandrel" CACHE STRING "AppStream component id")
set(QDL_HOMEPAGE "https://quandrel.example.org" CACHE STRING
    "Home page; the AppStream screenshots are its docs/console-*.png")
set(QDL_PROJECT_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX licence of the program")
set(QDL_MAINTAINER "Quandrel developers <quandrel@example.org>" CACHE STRING
    "The package's maintainer")

set(QDL_LINUX_DIR "${CMAKE_SOURCE_DIR}/resources/linux")
set(QDL_GENERATED_DIR "${CMAKE_BINARY_DIR}/packaging")
set(QDL_ICON_SIZES 16 32 48 64 128 256)

# Directories the install makes are world-readable whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The program and the files it loads. The controller mappings and the
# pictures are compiled into it; Qt's own German texts come from
# qt6-translations-l10n.
install(TARGETS quandrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
file(GLOB QDL_HELP_FILES CONFIGURE_DEPENDS "${QDL_HELP_SOURCE_DIR}/*.hlp")
install(FILES ${QDL_HELP_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/quandrel/help)

# The desktop's menu entry and icon.
install(FILES "${QDL_LINUX_DIR}/quandrel.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${QDL_LINUX_DIR}/quandrel.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${QDL_ICON_SIZES})
  install(FILES "${QDL_LINUX_DIR}/quandrel-${size}.png"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quandrel.png)
endforeach()

# AppStream metainfo, named by its component id.
configure_file("${QDL_LINUX_DIR}/quandrel.metainfo.xml.in"
               "${QDL_GENERATED_DIR}/${QDL_APPSTREAM_ID}.metainfo.xml" @ONLY)
install(FILES "${QDL_GENERATED_DIR}/${QDL_APPSTREAM_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The man page and the Debian changelog, compressed as Debian wants them
# (gzip -n: no name or time stamp, so the package builds the same each time).
find_program(QDL_GZIP gzip REQUIRED)
configure_file("${QDL_LINUX_DIR}/changelog.in" "${QDL_GENERATED_DIR}/changelog" @ONLY)
add_custom_command(OUTPUT "${QDL_GENERATED_DIR}/quandrel.1.gz"
  COMMAND ${QDL_GZIP} -9nc "${QDL_LINUX_DIR}/quandrel.1" > "${QDL_GENERATED_DIR}/quandrel.1.gz"
  DEPENDS "${QDL_LINUX_DIR}/quandrel.1" VERBATIM)
add_custom_command(OUTPUT "${QDL_GENERATED_DIR}/changelog.gz"
  COMMAND ${QDL_GZIP} -9nc "${QDL_GENERATED_DIR}/changelog" > "${QDL_GENERATED_DIR}/changelog.gz"
  DEPENDS "${QDL_GENERATED_DIR}/changelog" VERBATIM)
add_custom_target(quandrel_packaging_files ALL
  DEPENDS "${QDL_GENERATED_DIR}/quandrel.1.gz" "${QDL_GENERATED_DIR}/changelog.gz")
install(FILES "${QDL_GENERATED_DIR}/quandrel.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Shell completion.
install(FILES "${QDL_LINUX_DIR}/quandrel.bash-completion"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quandrel)

# The package's documents: copyright and changelog, as Debian policy wants.
install(FILES "${QDL_LINUX_DIR}/copyright" "${QDL_GENERATED_DIR}/changelog.gz"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quandrel)

# ---- The Debian package ------------------------------------------------------
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quandrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Quandrel")
set(CPACK_PACKAGE_CONTACT "${QDL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DJ console for MP3 files with two decks")
set(CPACK_PACKAGE_DESCRIPTION
    "Quandrel is a desktop DJ console for MP3 files: two decks with cue, pitch
and seek preview, a mixer with volume bars, crossfader and headphone
pre-listen on a second sound card, a song library searched as you type,
playlists with autoplay, an ID3v1 tag editor and a printable song list,
in German and English.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QDL_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see: the font the fixed window is measured with.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
include(CPack)
