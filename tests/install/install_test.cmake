# Installs the build into a fresh prefix and checks what lands there; the file list is the
# package test's.
# cmake -DBUILD_DIR=... -DPREFIX=... -P install_test.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed)
    message(FATAL_ERROR "cmake --install failed: ${output}")
endif()
set(program_dir "${PREFIX}/libexec/korvel")
set(desktop "${PREFIX}/share/applications/org.example.korvel.desktop")

# The desktop entry starts the window through its link in this prefix.
file(STRINGS "${desktop}" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=${PREFIX}/bin/korvel")
    message(FATAL_ERROR "desktop entry has ${exec}")
endif()

# The site file names four servers: the default address in its 15-character field, the port,
# then three more.
file(STRINGS "${program_dir}/sntp.cfg" config)
string(SUBSTRING "${config}" 0 25 described)
string(SUBSTRING "${config}" 25 -1 others)
if(NOT described MATCHES "^SNTP [0-9.]+ +[0-9]+$" OR NOT others MATCHES "^( [a-z.]+)( [a-z.]+)( [a-z.]+)$")
    message(FATAL_ERROR "sntp.cfg holds '${config}'")
endif()

# The validators find no fault: in the desktop entry, the metainfo, and the scheduled
# correction's units (nor in the manual page they name, nor in the tool the service runs).
# validate(QUIET_TOO COMMAND...): the command succeeds, and with QUIET_TOO prints nothing.
function(validate quiet_too)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE invalid OUTPUT_VARIABLE report
        ERROR_VARIABLE report)
    if(invalid OR (quiet_too AND NOT report STREQUAL ""))
        message(FATAL_ERROR "${ARGN}: ${invalid} ${report}")
    endif()
endfunction()
set(units "${PREFIX}/lib/systemd/system/korvel-sync")
validate(ON desktop-file-validate "${desktop}")
validate(OFF appstreamcli validate --no-net --pedantic
    "${PREFIX}/share/metainfo/org.example.korvel.metainfo.xml")
validate(ON "${CMAKE_COMMAND}" -E env "MANPATH=${PREFIX}/share/man"
    systemd-analyze verify "${units}.timer" "${units}.service" "${units}-now.service")
file(STRINGS "${units}.service" exec REGEX "^ExecStart=")
if(NOT exec STREQUAL
        "ExecStart=${program_dir}/korvel-cli measure --apply --unattended --site-config")
    message(FATAL_ERROR "korvel-sync.service has ${exec}")
endif()
# Users' starts (the unit the polkit rule names) meet a start limit of their own, so they cannot
# use up the timer's runs: the timer's unit has none.
file(STRINGS "${PREFIX}/share/doc/korvel/49-korvel-sync.rules.example" rule_unit
    REGEX "lookup\\(\"unit\"\\)")
file(STRINGS "${units}.service" timer_limit REGEX "^StartLimit")
file(STRINGS "${units}-now.service" user_limit REGEX "^StartLimitBurst=")
if(NOT rule_unit MATCHES "\"korvel-sync-now.service\"" OR NOT timer_limit STREQUAL
        "StartLimitIntervalSec=0" OR NOT user_limit STREQUAL "StartLimitBurst=3")
    message(FATAL_ERROR "start limits: rule '${rule_unit}', timer's '${timer_limit}', "
        "users' '${user_limit}'")
endif()

# No installed file carries a capability: the clock is set through timedated.
find_program(getcap getcap PATHS /usr/sbin /sbin REQUIRED)
execute_process(COMMAND "${getcap}" -r "${PREFIX}" OUTPUT_VARIABLE capabilities
    ERROR_VARIABLE capabilities)
if(NOT capabilities STREQUAL "")
    message(FATAL_ERROR "capabilities installed: ${capabilities}")
endif()

file(REMOVE_RECURSE "${PREFIX}")
