# Installs the build into a fresh prefix and checks what lands there.
# cmake -DBUILD_DIR=... -DPREFIX=... -P install_test.cmake

function(fail what)
    message(FATAL_ERROR "${what}")
endfunction()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}${errors}")
if(failed)
    fail("cmake --install failed")
endif()

set(program_dir "${PREFIX}/libexec/korvel")
# The file list and its links are the package test's; here the commands are used through
# their links: the desktop entry starts one, and korvel-cli measures below.
file(STRINGS "${PREFIX}/share/applications/org.example.korvel.desktop" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=${PREFIX}/bin/korvel")
    fail("desktop entry has ${exec}")
endif()

# The site file names four servers: the default address in its 15-character field, the port,
# then three more.
file(STRINGS "${program_dir}/sntp.cfg" config)
string(SUBSTRING "${config}" 0 25 described)
string(SUBSTRING "${config}" 25 -1 others)
if(NOT described MATCHES "^SNTP [0-9.]+ +[0-9]+$" OR NOT others MATCHES "^( [a-z.]+)( [a-z.]+)( [a-z.]+)$")
    fail("sntp.cfg holds '${config}'")
endif()

find_program(desktop_file_validate desktop-file-validate)
if(desktop_file_validate)
    execute_process(COMMAND "${desktop_file_validate}"
        "${PREFIX}/share/applications/org.example.korvel.desktop"
        RESULT_VARIABLE invalid OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(invalid OR NOT report STREQUAL "")
        fail("desktop entry: ${report}")
    endif()
endif()
find_program(appstreamcli appstreamcli)
if(appstreamcli)
    execute_process(COMMAND "${appstreamcli}" validate --no-net --pedantic
        "${PREFIX}/share/metainfo/org.example.korvel.metainfo.xml"
        RESULT_VARIABLE invalid OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(invalid)
        fail("metainfo: ${report}")
    endif()
endif()

# The scheduled correction's units: systemd finds no fault in them (nor in the manual page they
# name, nor in the tool the service runs, installed here), and the service runs that tool.
find_program(systemd_analyze systemd-analyze REQUIRED)
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "MANPATH=${PREFIX}/share/man"
    "${systemd_analyze}" verify "${PREFIX}/lib/systemd/system/korvel-sync.timer"
    "${PREFIX}/lib/systemd/system/korvel-sync.service"
    RESULT_VARIABLE invalid OUTPUT_VARIABLE report ERROR_VARIABLE report)
file(STRINGS "${PREFIX}/lib/systemd/system/korvel-sync.service" exec REGEX "^ExecStart=")
if(invalid OR NOT report STREQUAL "" OR NOT exec STREQUAL
        "ExecStart=${program_dir}/korvel-cli measure --apply --unattended --site-config")
    fail("systemd-analyze verify: ${invalid} ${report}; ${exec}")
endif()

# No installed file carries a capability: the clock is set through timedated.
find_program(getcap getcap PATHS /usr/sbin /sbin REQUIRED)
execute_process(COMMAND "${getcap}" -r "${PREFIX}" OUTPUT_VARIABLE capabilities
    ERROR_VARIABLE capabilities)
if(NOT capabilities STREQUAL "")
    fail("capabilities installed: ${capabilities}")
endif()

# Where CAP_SYS_TIME is outside the bounding set the installed tool still starts and
# measures: against our responder on the loopback of a network namespace of its own.
execute_process(COMMAND unshare -n setpriv --bounding-set -sys_time --inh-caps -sys_time sh -c
    "capsh --has-b=cap_sys_time && exit 98; ip link set lo up && \"$0\" --bind 127.0.0.1 \
     --offset 2 & sleep 0.3; \"$1\" measure 127.0.0.1; status=$?; kill $!; exit $status"
    "${RESPONDER}" "${PREFIX}/bin/korvel-cli"
    RESULT_VARIABLE measure_status OUTPUT_VARIABLE measured ERROR_VARIABLE measured)
# Within 10 ms of the responder's 2 s (a measurement here once gave 1.999991).
if(NOT measure_status EQUAL 0 OR NOT measured MATCHES "offset (1\\.99|2\\.00)")
    fail("installed korvel-cli without CAP_SYS_TIME: ${measure_status} ${measured}")
endif()

file(REMOVE_RECURSE "${PREFIX}")
