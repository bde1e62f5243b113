# Warnings every target of ours gets.
function(korvel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
        -Wno-sign-conversion)
    if(MINGW AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        # GCC 12 warns of overlapping copies inside std::string that cannot happen (its bug
        # 105329), and at -O3 of reads and writes beyond a std::vector being appended to by
        # insert after push_back; Debian's mingw-w64 compiler is that version.
        target_compile_options(${target} PRIVATE -Wno-restrict -Wno-stringop-overflow
            -Wno-stringop-overread)
    endif()
    if(KORVEL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# korvel_add_library(name SOURCES ... [DEPS ...] [PUBLIC_DEPS ...])
# A static library of the program. DEPS are linked privately (every library shares the include
# root src/); PUBLIC_DEPS are those whose headers the library's own headers include, such as
# Qt's.
function(korvel_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} PUBLIC ${ARG_PUBLIC_DEPS})
    korvel_warnings(${name})
endfunction()

# korvel_add_test(name SOURCES ... [DEPS ...] [LABELS ...])
function(korvel_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} korvel_unit_test_main GTest::gtest
        GTest::gmock)
    korvel_warnings(${name})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES LABELS "${ARG_LABELS}"
        ENVIRONMENT "${KORVEL_TEST_ENVIRONMENT}")
endfunction()

# korvel_windows_dlls(target): libgcrypt's DLLs copied beside a Windows executable, where Windows
# looks for them first.
function(korvel_windows_dlls target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KORVEL_WINDOWS_DLLS}
            $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()

# korvel_windows_program(target): a program of the Windows build. Wide-character entry point
# (wmain/wWinMain), the manifest every executable carries, and the DLLs it may load beside it.
function(korvel_windows_program target)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources/windows/manifest.rc)
    korvel_windows_dlls(${target})
    target_link_options(${target} PRIVATE -municode)
    korvel_warnings(${target})
endfunction()
