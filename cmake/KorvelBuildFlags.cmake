# The distribution's hardening flags, as dpkg-buildflags gives them to every Debian package
# (fortified functions, stack protector, read-only relocations bound at start), for the
# optimised build types the package is made from. The build type keeps its own -O and -g;
# fortification needs an optimised build, so Debug goes without.

find_program(KORVEL_DPKG_BUILDFLAGS dpkg-buildflags)
mark_as_advanced(KORVEL_DPKG_BUILDFLAGS)
if(KORVEL_DPKG_BUILDFLAGS AND NOT WIN32 AND NOT KORVEL_SANITIZE AND NOT KORVEL_FUZZ)
    set(korvel_distribution_flags_default ON)
else()
    set(korvel_distribution_flags_default OFF)
endif()
option(KORVEL_DISTRIBUTION_FLAGS "Build with dpkg-buildflags' hardening flags"
    ${korvel_distribution_flags_default})

if(KORVEL_DISTRIBUTION_FLAGS)
    if(NOT KORVEL_DPKG_BUILDFLAGS)
        message(FATAL_ERROR "KORVEL_DISTRIBUTION_FLAGS needs dpkg-buildflags (package dpkg-dev)")
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                "DEB_${kind}_MAINT_STRIP=-O2 -g" ${KORVEL_DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
            OUTPUT_VARIABLE korvel_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    foreach(config RELEASE RELWITHDEBINFO MINSIZEREL)
        string(APPEND CMAKE_CXX_FLAGS_${config} " ${korvel_CPPFLAGS} ${korvel_CXXFLAGS}")
        foreach(kind EXE SHARED MODULE)
            string(APPEND CMAKE_${kind}_LINKER_FLAGS_${config} " ${korvel_LDFLAGS}")
        endforeach()
    endforeach()
endif()
