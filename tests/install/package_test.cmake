# Builds the Debian package and checks it without installing it on this machine: its file
# list, its configuration file and lintian. (A package carries no file capabilities; the
# install test checks the files for them.)
# cmake -DBUILD_DIR=... -P package_test.cmake

function(fail what)
    message(FATAL_ERROR "${what}")
endfunction()

execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target package
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB deb "${BUILD_DIR}/korvel_*_amd64.deb")
if(failed OR NOT deb)
    fail("no package: ${output}")
endif()

execute_process(COMMAND dpkg-deb --contents "${deb}" OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "\\./[^ \n]*[^/ \n]( -> [^\n]*)?\n" entries "${listing}")
string(REPLACE "\n" "" entries "${entries}")
set(expected
    "./etc/korvel/sntp.cfg"
    "./usr/bin/korvel -> ../libexec/korvel/korvel"
    "./usr/bin/korvel-cli -> ../libexec/korvel/korvel-cli"
    "./usr/libexec/korvel/HELP.HTM"
    "./usr/libexec/korvel/korvel"
    "./usr/libexec/korvel/korvel-cli"
    "./usr/libexec/korvel/sntp.cfg -> /etc/korvel/sntp.cfg"
    "./usr/share/applications/org.example.korvel.desktop"
    "./usr/share/doc/korvel/49-korvel-set-time.rules.example"
    "./usr/share/doc/korvel/changelog.gz"
    "./usr/share/doc/korvel/copyright"
    "./usr/share/icons/hicolor/scalable/apps/korvel.svg"
    "./usr/share/metainfo/org.example.korvel.metainfo.xml")
if(NOT entries STREQUAL expected)
    fail("package holds ${entries}")
endif()

execute_process(COMMAND dpkg-deb --field "${deb}" Depends OUTPUT_VARIABLE depends)
execute_process(COMMAND dpkg-deb --info "${deb}" conffiles OUTPUT_VARIABLE conffiles)
if(NOT depends MATCHES "libqt6dbus6" OR NOT depends MATCHES "qt6-translations-l10n" OR NOT conffiles STREQUAL "/etc/korvel/sntp.cfg\n")
    fail("depends '${depends}', conffiles '${conffiles}'")
endif()

execute_process(COMMAND lintian --no-tag-display-limit "${deb}" OUTPUT_VARIABLE report
    ERROR_VARIABLE report)
if(report MATCHES "(^|\n)E: ")
    fail("lintian: ${report}")
endif()
