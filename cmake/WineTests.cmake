# Every test program is a Windows program run under 64-bit Wine in a prefix
# of the build's own, made once by wineboot.
set(KORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_SOURCE_DIR}/scripts/wine.sh;--prefix;${KORVANE_WINEPREFIX})

add_custom_command(
    OUTPUT ${KORVANE_WINEPREFIX}/.korvane-ready
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh ${KORVANE_WINEPREFIX}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh
    COMMENT "Preparing the Wine prefix"
    USES_TERMINAL)
add_custom_target(wineprefix ALL DEPENDS ${KORVANE_WINEPREFIX}/.korvane-ready)

# korvane_add_test(NAME name LABELS area... SOURCES files... LIBS libs... [GUI])
# GUI tests share one desktop and so never run at the same time.
function(korvane_add_test)
    cmake_parse_arguments(T "GUI" "NAME" "LABELS;SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main korvane_test_support)
    add_dependencies(${T_NAME} wineprefix)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    # A program that crashes under Wine can still end with 0 (Wine's
    # debugger ends it), so the crash Wine reports fails the test too,
    # also one of a program the test started.
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 600
        FAIL_REGULAR_EXPRESSION "wine: Unhandled")
    if(T_GUI)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK desktop)
    endif()
endfunction()
