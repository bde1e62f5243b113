# Install steps that depend on where the program lands, run by `cmake --install` after the
# files are copied. Set before this script: korvel_program_dir, korvel_bin_dir,
# korvel_data_dir (each relative to the prefix or absolute), korvel_resources_dir,
# korvel_default_config_line and korvel_setcap.

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

# The command on the search path is a link; the program itself stays beside HELP.HTM, the
# folder it reads its help page and sntp.cfg from.
file(MAKE_DIRECTORY "$ENV{DESTDIR}${bin_dir}")
file(RELATIVE_PATH link_target "${bin_dir}" "${program}")
file(CREATE_LINK "${link_target}" "$ENV{DESTDIR}${bin_dir}/korvel" SYMBOLIC)
korvel_installed("$ENV{DESTDIR}${bin_dir}/korvel")

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

# An ordinary user cannot create sntp.cfg in an installed program's folder, so the first
# install writes the default line; later installs keep what an administrator put there.
set(config "$ENV{DESTDIR}${program_dir}/sntp.cfg")
if(NOT EXISTS "${config}")
    file(WRITE "${config}" "${korvel_default_config_line}\n")
    korvel_installed("${config}")
else()
    message(STATUS "Up-to-date: ${config} (kept)")
endif()

# The right to set the system clock, as a file capability, so that nobody needs to run the
# window as root. Only root can give it; a staged install leaves it to the package.
set(manual "sudo setcap cap_sys_time+ep ${program}")
find_program(korvel_setcap_program setcap PATHS /usr/sbin /sbin)
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE id_failed)
if(NOT korvel_setcap)
    message(STATUS "Skipping the clock right (KORVEL_SETCAP is OFF); give it with: ${manual}")
elseif(NOT "$ENV{DESTDIR}" STREQUAL "")
    message(STATUS "Skipping the clock right in a staged install (DESTDIR); after installing "
        "the package give it with: ${manual}")
elseif(id_failed OR NOT uid STREQUAL "0")
    message(STATUS "Skipping the clock right: not installing as root. Without it the program "
        "shows 校准失败 when it sets the clock; give it with: ${manual}")
elseif(NOT korvel_setcap_program)
    message(STATUS "Skipping the clock right: setcap not found (Debian package libcap2-bin); "
        "give it with: ${manual}")
else()
    execute_process(COMMAND "${korvel_setcap_program}" cap_sys_time+ep "${staged_program}"
        RESULT_VARIABLE setcap_failed ERROR_VARIABLE setcap_error)
    if(setcap_failed)
        message(WARNING "setcap failed for ${program}: ${setcap_error}")
    else()
        message(STATUS "Gave ${program} the right to set the clock (cap_sys_time+ep)")
    endif()
endif()
