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
set(program "${program_dir}/korvel")
set(expected
    "${program}"
    "${program_dir}/HELP.HTM"
    "${program_dir}/sntp.cfg"
    "${PREFIX}/bin/korvel"
    "${PREFIX}/share/applications/org.example.korvel.desktop"
    "${PREFIX}/share/icons/hicolor/scalable/apps/korvel.svg"
    "${PREFIX}/share/metainfo/org.example.korvel.metainfo.xml")
foreach(file ${expected})
    if(NOT EXISTS "${file}")
        fail("not installed: ${file}")
    endif()
endforeach()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(LENGTH installed count)
list(LENGTH expected expected_count)
if(NOT count EQUAL expected_count)
    fail("installed ${installed}, expected ${expected}")
endif()

# The command is a link to the program, which finds HELP.HTM beside itself.
if(NOT IS_SYMLINK "${PREFIX}/bin/korvel")
    fail("bin/korvel is not a link")
endif()
file(REAL_PATH "${PREFIX}/bin/korvel" linked)
file(REAL_PATH "${program}" real_program)
if(NOT linked STREQUAL real_program)
    fail("bin/korvel leads to ${linked}, not ${real_program}")
endif()

# The desktop entry starts that command.
file(STRINGS "${PREFIX}/share/applications/org.example.korvel.desktop" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=${PREFIX}/bin/korvel")
    fail("desktop entry has ${exec}")
endif()

file(STRINGS "${program_dir}/sntp.cfg" config)
string(LENGTH "${config}" config_length)
if(NOT config MATCHES "^SNTP [0-9.]+ +[0-9]+$" OR NOT config_length EQUAL 25)
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

# Installed as root, the program may set the clock.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
find_program(getcap getcap PATHS /usr/sbin /sbin)
find_program(setcap setcap PATHS /usr/sbin /sbin)
if(uid STREQUAL "0" AND getcap AND setcap)
    execute_process(COMMAND "${getcap}" "${program}" OUTPUT_VARIABLE capabilities)
    if(NOT capabilities MATCHES "cap_sys_time[=+]ep")
        fail("no clock right on ${program}: '${capabilities}'")
    endif()
endif()

file(REMOVE_RECURSE "${PREFIX}")
