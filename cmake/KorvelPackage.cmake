# The Debian package: `cmake --build build --target package` makes korvel_<version>_amd64.deb
# from what `cmake --install` puts under /usr. The site's sntp.cfg is written by the postinst
# rather than shipped (see KorvelPackageStaging.cmake); the dependencies are the libraries the
# binaries link and what the window loads at run time.

include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "KORVEL developers <korvel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SNTP time synchronisation client with a Chinese interface")
set(CPACK_PACKAGE_DESCRIPTION
    "KORVEL measures how far the local clock is from a set of SNTP servers\n"
    "and steps the system clock by that offset when asked, or on the window's\n"
    "schedule, through systemd-timedated: polkit decides who may set the\n"
    "clock. The scheduled correction (korvel-sync.timer, off until an\n"
    "administrator enables it) runs with CAP_SYS_TIME and sets the clock\n"
    "itself. A desktop window and the command-line tool korvel-cli.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the window loads besides the libraries it links, found by tracing the installed window
# (tests/install/package_root_test.sh): Qt's own texts in Chinese (message box buttons, text
# box menus), the SVG plug-ins for the toolbar's pictures, a font with Chinese characters, and
# libXcursor, which Qt's X11 plug-in loads when it is there for the desktop's cursor theme.
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n libqt6svg6
    "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei" libxcursor1)
# timedated sets the clock; pkttyagent asks for the password on a terminal.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, polkitd")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pkexec")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/korvel")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The maintainer scripts write the site's sntp.cfg when it is missing, say once when another
# time service keeps the clock, and remove the file on purge. The scheduled correction's units
# are plain files: no script enables or starts them; a removal stops what an administrator
# started and a purge forgets that it was turned on.
set(korvel_package_dir "${PROJECT_BINARY_DIR}/package")
configure_file("${PROJECT_SOURCE_DIR}/resources/linux/postinst.in" "${korvel_package_dir}/postinst"
    @ONLY)
foreach(script prerm postrm)
    configure_file("${PROJECT_SOURCE_DIR}/resources/linux/${script}"
        "${korvel_package_dir}/${script}" COPYONLY)
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${korvel_package_dir}/postinst"
    "${korvel_package_dir}/prerm" "${korvel_package_dir}/postrm")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/KorvelPackageStaging.cmake")

# Debian wants a compressed changelog beside the copyright file (a native package's name).
string(TIMESTAMP korvel_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${korvel_package_dir}/changelog"
    "korvel (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Package of the desktop program and korvel-cli.\n\n"
    " -- ${CPACK_PACKAGE_CONTACT}  ${korvel_changelog_date}\n")
add_custom_command(OUTPUT "${korvel_package_dir}/changelog.gz"
    COMMAND gzip -9nf -k "${korvel_package_dir}/changelog"
    DEPENDS "${korvel_package_dir}/changelog")
add_custom_target(korvel_changelog ALL DEPENDS "${korvel_package_dir}/changelog.gz")
install(FILES "${korvel_package_dir}/changelog.gz" DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
