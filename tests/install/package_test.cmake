# Builds the Debian package and checks it without installing it on this machine: its file
# list, its relations and maintainer scripts, its manual pages and lintian's pedantic run
# (capabilities are the install test's, on the same files). package_root_test.sh installs it
# in a clean Debian root.
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -P package_test.cmake

execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BUILD_DIR}" --target package
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB deb "${BUILD_DIR}/korvel_*_amd64.deb")
if(failed OR NOT deb)
    message(FATAL_ERROR "no package: ${output}")
endif()

execute_process(COMMAND dpkg-deb --contents "${deb}" OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "\\./[^ \n]*[^/ \n]( -> [^\n]*)?\n" entries "${listing}")
string(REPLACE "\n" "" entries "${entries}")
set(expected
    "./usr/bin/korvel -> ../libexec/korvel/korvel"
    "./usr/bin/korvel-cli -> ../libexec/korvel/korvel-cli"
    "./usr/lib/systemd/ntp-units.d/zz-korvel-sync.list"
    "./usr/lib/systemd/system/korvel-sync-now.service"
    "./usr/lib/systemd/system/korvel-sync.service"
    "./usr/lib/systemd/system/korvel-sync.timer"
    "./usr/libexec/korvel/HELP.HTM"
    "./usr/libexec/korvel/korvel"
    "./usr/libexec/korvel/korvel-cli"
    "./usr/libexec/korvel/sntp.cfg -> /etc/korvel/sntp.cfg"
    "./usr/share/applications/org.example.korvel.desktop"
    "./usr/share/doc/korvel/49-korvel-sync.rules.example"
    "./usr/share/doc/korvel/changelog.gz"
    "./usr/share/doc/korvel/copyright"
    "./usr/share/icons/hicolor/scalable/apps/korvel.svg"
    "./usr/share/man/man1/korvel-cli.1.gz"
    "./usr/share/man/man1/korvel.1.gz"
    "./usr/share/metainfo/org.example.korvel.metainfo.xml")
if(NOT entries STREQUAL expected)
    message(FATAL_ERROR "package holds ${entries}")
endif()

# What the window loads at run time besides the libraries it links; the site's sntp.cfg is
# the maintainer scripts', not a configuration file of the package.
execute_process(COMMAND dpkg-deb --field "${deb}" Depends Recommends Version
    OUTPUT_VARIABLE fields)
execute_process(COMMAND dpkg-deb --info "${deb}" OUTPUT_VARIABLE info)
foreach(needed "libqt6dbus6" "qt6-translations-l10n" "libqt6svg6" "libxcursor1"
        "fonts-noto-cjk [|] fonts-wqy-microhei [|] fonts-wqy-zenhei")
    if(NOT fields MATCHES "Depends: [^\n]*${needed}")
        message(FATAL_ERROR "no dependency ${needed}: ${fields}")
    endif()
endforeach()
if(fields MATCHES "policykit-1" OR info MATCHES " conffiles" OR NOT info MATCHES " postinst"
        OR NOT info MATCHES " prerm" OR NOT info MATCHES " postrm")
    message(FATAL_ERROR "${info}")
endif()

# One version: the package's, and the window's described texts (the caption and the About
# box) name the same number.
string(REGEX MATCH "Version: ([^\n]*)" _ "${fields}")
set(version "${CMAKE_MATCH_1}")
file(STRINGS "${SOURCE_DIR}/src/ui/form/about_box.h" about ENCODING UTF-8
    REGEX "lblVersion = ")
file(STRINGS "${SOURCE_DIR}/src/ui/form/main_form.h" caption ENCODING UTF-8
    REGEX "kWindowTitle = ")
string(REGEX MATCH "([0-9.]+) \"" _ "${about}")
set(about "${CMAKE_MATCH_1}")
string(REGEX MATCH "Ver([0-9.]+)\"" _ "${caption}")
set(caption "${CMAKE_MATCH_1}")
if(NOT version VERSION_EQUAL about OR NOT version VERSION_EQUAL caption)
    message(FATAL_ERROR
        "package ${version}, About box '${about}', caption '${caption}' (src/ui/form/)")
endif()

# The manual pages render without a warning and hold the programs' --help, the files, the
# time services, the units and the version.
foreach(page korvel korvel-cli)
    execute_process(COMMAND dpkg-deb --fsys-tarfile "${deb}" COMMAND tar -xO
        "./usr/share/man/man1/${page}.1.gz" COMMAND gzip -d OUTPUT_FILE "${BUILD_DIR}/${page}.1")
    execute_process(COMMAND man --warnings -E UTF-8 -l "${BUILD_DIR}/${page}.1"
        OUTPUT_VARIABLE rendered ERROR_VARIABLE warnings RESULT_VARIABLE failed)
    file(REMOVE "${BUILD_DIR}/${page}.1")
    if(failed OR NOT warnings STREQUAL "")
        message(FATAL_ERROR "man ${page}: ${failed} ${warnings}${rendered}")
    endif()
    foreach(part SYNOPSIS FILES "TIME SERVICES" "SYSTEMD UNITS" --version /etc/korvel/sntp.cfg
            korvel-sync.timer "${version}")
        string(FIND "${rendered}" "${part}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "man ${page} has no ${part}: ${rendered}")
        endif()
    endforeach()
endforeach()

# lintian's pedantic run: no error or warning; every other tag it still gives is explained in
# the README.
execute_process(COMMAND lintian --pedantic --display-info --tag-display-limit 0 "${deb}"
    OUTPUT_VARIABLE report ERROR_VARIABLE report)
message("lintian: ${report}")
if(report MATCHES "(^|\n)[EW]: ")
    message(FATAL_ERROR "lintian: ${report}")
endif()
file(READ "${SOURCE_DIR}/README.md" readme)
string(REGEX MATCHALL "(^|\n)[A-Z]: korvel[^:]*: [a-z0-9.+-]+" tags "${report}")
foreach(tag ${tags})
    string(REGEX REPLACE ".* " "" tag "${tag}")
    if(NOT readme MATCHES "`${tag}`")
        message(FATAL_ERROR "lintian tag ${tag} is not explained in README.md")
    endif()
endforeach()
