# Tovinel: the Wine runs, registered in the native build: the built tovinel.exe and the helpers of
# the cross build (this folder's CMakeLists.txt) under Wine. One 64-bit (WOW64) prefix per test run,
# booted by the fixture's set-up and removed by its clean-up.
set(wine_tests ${CMAKE_CURRENT_LIST_DIR})
if(TOVINEL_EXE AND TOVINEL_WINE_HELPERS)
    set(wine_prefix ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
    add_test(NAME wine_prefix_boot COMMAND /usr/bin/python3 ${wine_tests}/wine_session.py boot ${wine_prefix})
    add_test(NAME wine_prefix_remove COMMAND /usr/bin/python3 ${wine_tests}/wine_session.py remove ${wine_prefix})
    add_test(NAME wine_scenarios COMMAND /usr/bin/python3 ${wine_tests}/run_scenarios.py
             ${TOVINEL_SCENARIO_TABLE} ${TOVINEL_EXE} ${TOVINEL_WINE_HELPERS}
             ${wine_prefix} ${CMAKE_CURRENT_BINARY_DIR}/wine-scenarios)
    add_test(NAME wine_ini_differential COMMAND /usr/bin/python3 ${wine_tests}/ini_differential.py
             $<TARGET_FILE:ini_query> ${TOVINEL_WINE_HELPERS}/profile_reader.exe ${wine_prefix}
             ${CMAKE_CURRENT_BINARY_DIR}/wine-ini ${wine_tests}/ini_differences.txt)
    set_tests_properties(wine_prefix_boot PROPERTIES FIXTURES_SETUP wine TIMEOUT 300 RESOURCE_LOCK wine)
    set_tests_properties(wine_prefix_remove PROPERTIES FIXTURES_CLEANUP wine RESOURCE_LOCK wine)
    set_tests_properties(wine_scenarios wine_ini_differential PROPERTIES
                         FIXTURES_REQUIRED wine TIMEOUT 300 RESOURCE_LOCK wine)
    # A machine whose kernel runs no 32-bit x86 programs cannot run Wine's: these tests then say
    # why and count as skipped (wine_session.py, why_wine_cannot_run).
    set_tests_properties(wine_prefix_boot wine_scenarios wine_ini_differential PROPERTIES SKIP_RETURN_CODE 77)
    # There, the launcher's own sources built for x86-64 play the same table and the hand-over to the
    # shell under wine64: Wine's real profile, registry, window and start functions, code page 932.
    add_test(NAME wine_scenarios_x86_64 COMMAND ${PROJECT_SOURCE_DIR}/tools/dev/wine_check_64bit.sh --in-suite)
    set_tests_properties(wine_scenarios_x86_64 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600 RESOURCE_LOCK wine)
    # Wine never refuses a start for elevation, so the hand-over to the shell is played directly.
    add_test(NAME wine_shell_start COMMAND /usr/bin/python3 ${wine_tests}/run_shell_start.py
             ${TOVINEL_WINE_HELPERS} ${wine_prefix} ${CMAKE_CURRENT_BINARY_DIR}/wine-shell-start)
    set_tests_properties(wine_shell_start PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 RESOURCE_LOCK wine
                         SKIP_RETURN_CODE 77)
endif()

# tovinel-check.exe (build/win32) and its 64-bit twin (build/win64), which only tests use: the twin
# runs under wine64 where the kernel runs no 32-bit program. Each gets its own win64 prefix.
foreach(bits 32 64)
    if(bits EQUAL 32)
        set(exe ${TOVINEL_CHECK_EXE})
        set(holder ${TOVINEL_WINE_HELPERS}/window_holder.exe)
    else()
        set(exe ${TOVINEL_CHECK_EXE64})
        set(holder ${TOVINEL_WINE_HELPERS64}/window_holder.exe)
    endif()
    if(NOT exe)
        continue()
    endif()
    # The clean medium first: the --this-machine cases play on a copy of it.
    add_test(NAME check_wine_${bits} COMMAND /usr/bin/python3 ${wine_tests}/check_wine.py
             ${bits} ${exe} $<TARGET_FILE:tovinel-check> ${holder} ${CMAKE_CURRENT_BINARY_DIR}/check-wine-prefix-${bits}
             ${CMAKE_CURRENT_BINARY_DIR}/check-wine-${bits} ${PROJECT_SOURCE_DIR}/tests/checker/check_media/clean
             ${sample_media})
    set_tests_properties(check_wine_${bits} PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine SKIP_RETURN_CODE 77)
endforeach()
