# Install steps that depend on where the program lands, run by `cmake --install` after the
# files are copied. Set before this script: korvel_program_dir, korvel_bin_dir,
# korvel_data_dir (each relative to the prefix or absolute), korvel_resources_dir and
# korvel_site_config_line. Nothing installed carries a file capability: the clock is set
# through systemd-timedated, where polkit decides who may, or by the scheduled correction's
# service, which systemd gives the right to set the clock and nothing else.

function(korvel_full_path out dir)
    if(IS_ABSOLUTE "${dir}")
        set(${out} "${dir}" PARENT_SCOPE)
    else()
        set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
    endif()
endfunction()

function(korvel_installed file)
    message(STATUS "Installing: ${file}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${file}")
    set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

korvel_full_path(program_dir "${korvel_program_dir}")
korvel_full_path(bin_dir "${korvel_bin_dir}")
korvel_full_path(data_dir "${korvel_data_dir}")
set(program "${program_dir}/korvel")
set(staged_program "$ENV{DESTDIR}${program}")

# The commands on the search path are links; the programs themselves stay beside HELP.HTM,
# the folder they read their help page and sntp.cfg from.
file(MAKE_DIRECTORY "$ENV{DESTDIR}${bin_dir}")
foreach(command korvel korvel-cli)
    file(RELATIVE_PATH link_target "${bin_dir}" "${program_dir}/${command}")
    file(CREATE_LINK "${link_target}" "$ENV{DESTDIR}${bin_dir}/${command}" SYMBOLIC)
    korvel_installed("$ENV{DESTDIR}${bin_dir}/${command}")
endforeach()

# The desktop entry starts the command by its full path, so a prefix outside the search path
# works as well.
set(KORVEL_EXEC "${bin_dir}/korvel")
if(KORVEL_EXEC MATCHES "[ \t\"]")
    string(REPLACE "\"" "\\\"" KORVEL_EXEC "${KORVEL_EXEC}")
    set(KORVEL_EXEC "\"${KORVEL_EXEC}\"")
endif()
set(desktop_entry "$ENV{DESTDIR}${data_dir}/applications/org.example.korvel.desktop")
configure_file("${korvel_resources_dir}/org.example.korvel.desktop.in" "${desktop_entry}" @ONLY)
korvel_installed("${desktop_entry}")

# The scheduled correction's units where systemd looks for them under /usr and /usr/local,
# the service naming the installed tool by its full path. Nothing enables or starts them.
set(unit_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
set(korvel_cli "${program_dir}/korvel-cli")
configure_file("${korvel_resources_dir}/linux/korvel-sync.service.in"
    "${unit_dir}/korvel-sync.service" @ONLY)
foreach(unit korvel-sync.timer korvel-sync-now.service)
    configure_file("${korvel_resources_dir}/linux/${unit}" "${unit_dir}/${unit}" COPYONLY)
endforeach()
foreach(unit korvel-sync.service korvel-sync.timer korvel-sync-now.service)
    korvel_installed("${unit_dir}/${unit}")
endforeach()
# timedated's list of time services, which makes the timer what `timedatectl set-ntp`
# turns on and off.
set(ntp_list "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/ntp-units.d/zz-korvel-sync.list")
configure_file("${korvel_resources_dir}/linux/zz-korvel-sync.list" "${ntp_list}" COPYONLY)
korvel_installed("${ntp_list}")

# The site's sntp.cfg lives with the system's configuration (/etc/korvel for the /usr prefix,
# where the package marks it a configuration file); the programs find it beside themselves
# through a link. The first install writes the default line; later installs keep what an
# administrator put there. Users' own changes go to their own copy.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(site_dir "/etc/korvel")
else()
    set(site_dir "${CMAKE_INSTALL_PREFIX}/etc/korvel")
endif()
set(config "$ENV{DESTDIR}${site_dir}/sntp.cfg")
if(NOT EXISTS "${config}")
    file(WRITE "${config}" "${korvel_site_config_line}\n")
    korvel_installed("${config}")
else()
    message(STATUS "Up-to-date: ${config} (kept)")
endif()
file(CREATE_LINK "${site_dir}/sntp.cfg" "$ENV{DESTDIR}${program_dir}/sntp.cfg" SYMBOLIC)
korvel_installed("$ENV{DESTDIR}${program_dir}/sntp.cfg")
