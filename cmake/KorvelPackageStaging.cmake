# Run by CPack on the staged files before the package is made: the site's sntp.cfg, which
# `cmake --install` writes, is left to the package's postinst, and the programs lose the
# compiler's notes as Debian's own packages do.
file(REMOVE_RECURSE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc/korvel")
file(GLOB korvel_staged_etc "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc/*")
if(NOT korvel_staged_etc)
    file(REMOVE_RECURSE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc")
endif()

find_program(korvel_objcopy objcopy REQUIRED)
file(GLOB korvel_staged_programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/libexec/korvel/korvel*")
foreach(program ${korvel_staged_programs})
    execute_process(COMMAND ${korvel_objcopy} --remove-section=.comment "${program}"
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
