# Installing Knobwise as a desktop program, and its Debian package.
#
# Installed layout under the prefix:
#   lib/knobwise/knobwise      the program, with help.htm beside it (the Help
#                              button opens the page in the program's own
#                              directory)
#   bin/knobwise               a link to it; the program resolves the link, so
#                              it still finds its help page and data
#   bin/knobreg                the registry tool
#   share/knobwise/            the seed registry and drive C's icon files,
#                              found from the programs through
#                              ../../share/knobwise and ../share/knobwise
#   share/applications/, share/metainfo/, share/icons/hicolor/
#                              the menu entry, the AppStream description and
#                              the application icon (resources/desktop/)
#   share/man/man1/            the manual pages of knobwise and knobreg
#                              (resources/man/), compressed
#   share/doc/knobwise/copyright, share/doc/knobwise/changelog.gz
#                              the licence, in Debian's machine-readable
#                              copyright format, and the changelog, in
#                              Debian's format (resources/debian/)
#
# `cpack` in the build directory writes knobwise_<version>_<arch>.deb. The
# package is meant for the prefix /usr; configure with
# -DCMAKE_INSTALL_PREFIX=/usr so that the compiled-in data directory and the
# folders the manual pages name agree, and the programs are hardened
# (KNOBWISE_HARDEN, KnobwiseTargets.cmake). Debian's checker, lintian, finds
# nothing to warn about in it (the `package` test).

# The link bin/knobwise -> ../lib/knobwise/knobwise, made in the build tree
# and installed as a link.
file(RELATIVE_PATH _knobwise_link_target
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${KNOBWISE_INSTALL_PROGRAMDIR}/knobwise)
set(_knobwise_link ${CMAKE_BINARY_DIR}/install-links/knobwise)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ${_knobwise_link_target} ${_knobwise_link} SYMBOLIC)
install(FILES ${_knobwise_link} DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/knobwise)

# The changelog, compressed. Knobwise is its own upstream and its version has
# no Debian revision, so the package is a native one, whose changelog Debian
# names changelog.gz (not changelog.Debian.gz). Its newest entry is the
# version being built: a new version needs its entry.
set(_knobwise_changelog ${PROJECT_SOURCE_DIR}/resources/debian/changelog)
file(STRINGS ${_knobwise_changelog} _knobwise_newest LIMIT_COUNT 1)
if(NOT _knobwise_newest MATCHES "^knobwise \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "resources/debian/changelog has no entry for ${PROJECT_VERSION} "
                      "at its top: ${_knobwise_newest}")
endif()
configure_file(${_knobwise_changelog} ${CMAKE_BINARY_DIR}/doc/changelog COPYONLY)
knobwise_compress(changelog_gz ${CMAKE_BINARY_DIR}/doc/changelog)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/knobwise)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME knobwise)
set(CPACK_PACKAGE_VENDOR "The Knobwise developers")
set(CPACK_PACKAGE_CONTACT "The Knobwise developers <knobwise@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "views and changes Windows 95/98 shell and browser settings")
set(CPACK_PACKAGE_DESCRIPTION
    "Knobwise is a small single-window desktop utility that views and changes a
handful of Windows 95/98 shell and Internet Explorer settings kept in a
Windows-style registry: the hover texts of six shell folders, the shortcut
arrow, two Start-menu entries and the browser toolbar's background bitmap.
Each user has a machine of their own, made on the first start in
~/.local/share/knobwise. The command-line tool knobreg administers its
registry.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.example.com/knobwise/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The fonts that stand in for the Windows ones are no linked libraries: they
# are always named. (Qt's X11 platform plugin and the SVG icon engine come with
# libqt6gui6 and libqt6svg6.) The libraries come from the programs themselves
# when dpkg-shlibdeps is at hand (package dpkg-dev), with the versions they
# need; without it they are named here.
set(_knobwise_runtime "fonts-liberation, fonts-dejavu-core")
find_program(KNOBWISE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KNOBWISE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_knobwise_runtime}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libqt6svg6, libsqlite3-0, libyaml-cpp0.7, libxcb1, ${_knobwise_runtime}")
endif()
# Opens the help page and web links in the desktop's browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
